// Writes the reference outputs of the shared models: each one exported
// natively through the plug-in object, called as the host calls it, into
// <folder>/<name>.mdl. The Windows test host expects the same bytes from
// mdlexport.dll.
//
//   make_reference <folder>
#include "plugin.h"
#include "shared_models.h"
#include "stand_in_model.h"
#include "stand_in_ui.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: make_reference <folder>\n");
        return 2;
    }
    int failures = 0;
    for (const SharedModel& shared : SharedModels())
    {
        std::string path = std::string(argv[1]) + "/" + shared.name + ".mdl";
        ModelHandle model = StandIn_CreateModel();
        shared.fill(model);
        StandInUi_AnswerWithPath(path);
        PlugInBase* plugin = CreatePlugIn();
        int32_t status = plugin != nullptr ? plugin->Run(model) : -1;
        delete plugin;
        int32_t destroyed = StandIn_DestroyCount(model);
        StandIn_FreeModel(model);
        if (status != 0 || destroyed != 1)
        {
            std::fprintf(stderr, "make_reference: %s: status %d, destroyed %d times\n",
                         path.c_str(), status, destroyed);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
