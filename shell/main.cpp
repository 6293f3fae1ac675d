#include "startup.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    initialiseApplication(application);
    return runQex(application);
}
