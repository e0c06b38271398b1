// zol: records the strength of a received carrier during a solar eclipse.
#include "app/program.h"

int main(int argc, char** argv)
{
    return zol::RunZol(argc, argv);
}
