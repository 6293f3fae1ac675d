#pragma once
// A data source: the link through which the access-control code reaches one table.

class SqlTable;

struct TDataSource {
    SqlTable* DataSet = nullptr;
};
