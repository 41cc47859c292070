#include "header_writer.h"

#include "mdl_print.h"

void WriteModelHeader(MdlStream& out, ModelHandle model)
{
    MdlPrint<"//exported by quib and stuff\nVersion {\n\tFormatVersion 800,\n}\n">(out);
    MdlPrint<"\tModel \"Model\" {\n">(out);
    MdlPrint<"\tNumGeosets %d,\n">(out, msModel_GetMeshCount(model));
    MdlPrint<"\tNumGeosetAnims 1,\n">(out);
    MdlPrint<"\tNumBones %d,\n">(out, msModel_GetBoneCount(model));
    MdlPrint<"\tBlendTime 150,\n">(out);
    MdlPrint<"\tMinimumExtent { -200, -200, -200 },\n">(out);
    MdlPrint<"\tMaximumExtent { 200, 200, 200 },\n}\n">(out);
    MdlPrint<"////////////////////////////////////////////////////\n">(out);
    MdlPrint<"////////////////////////////////////////////////////\n\n\n\n">(out);
    MdlPrint<"PASTE HEADING HERE\n\n\n\n">(out);
    MdlPrint<"////////////////////////////////////////////////////\n">(out);
    MdlPrint<"////////////////////////////////////////////////////\n">(out);
}
