// spanfetch: copies a disc image stored as numbered parts on one or more CDs and converts it.
#include <cstdlib>

#include "front/driver.h"
#include "platform/startup.h"

int main(int argc, char** argv)
{
    platform_startup();
    exit(run_conversion(argc, argv));
}
