#include "startup.h"

int main(int argc, char** argv)
{
    return runQex(argc, argv);
}
