// MdlPrint's formats are checked while compiling. Each case below is built
// on its own by check_compile.cmake (MDL_CASE picks it): "fits" must build,
// every other case must stop the build with its own message.
#include "mdl_print.h"

#include <cstdint>

void Print(MdlStream& out)
{
#if MDL_CASE == 0 // fits
    MdlPrint<"\t{ %d, %f, \"%s\" } 100%%\n">(out, int32_t{1}, 2.0, "name");
#elif MDL_CASE == 1 // a conversion the text never uses
    MdlPrint<"%x\n">(out, int32_t{1});
#elif MDL_CASE == 2 // an argument of the wrong type
    MdlPrint<"%d\n">(out, 2.0);
#elif MDL_CASE == 3 // too few arguments
    MdlPrint<"%d %d\n">(out, int32_t{1});
#elif MDL_CASE == 4 // too many arguments
    MdlPrint<"%f\n">(out, 1.0, 2.0);
#endif
}
