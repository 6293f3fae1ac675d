#pragma once
// The program's own column names on the security manager's bindings, and the data sources of its
// six tables.

struct TDataSource;
class TuilSecurityManager;

struct TuilSecurityDataSources {
    TDataSource* Users;
    TDataSource* UserAccess;
    TDataSource* Groups;
    TDataSource* GroupAccess;
    TDataSource* GroupMembers;
    TDataSource* Permissions;
};

void bindSecurityTables(TuilSecurityManager& manager, const TuilSecurityDataSources& sources);
