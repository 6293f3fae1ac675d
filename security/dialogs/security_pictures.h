#pragma once
// The small pictures of the access-control dialogs, drawn rather than loaded.

#include <QPixmap>

enum class TSecurityPicture { Padlock, User, Group, Permission };

QPixmap securityPicture(TSecurityPicture picture, int size);
