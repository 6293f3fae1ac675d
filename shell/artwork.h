#pragma once
// The program's pictures: logo, button glyphs and the information window's artwork. They are
// drawn rather than stored so that they stay sharp at any scale.

#include <QIcon>
#include <QPixmap>

namespace artwork {

QPixmap logo(const QSize& size);
QIcon playIcon();
QIcon stopIcon();
QIcon bypassIcon();
QIcon userIcon();
QIcon infoIcon();
QPixmap aboutBackground(const QSize& size);
QPixmap aboutBadge(const QSize& size);

} // namespace artwork
