// The hostile model library as msModelLib.dll: the twenty functions of
// hostile_model.cpp, exported under the host's names, and four calls of its
// own for the replay program, which finds them with GetProcAddress. Only
// plain C types cross the module boundary: each module has its own runtime.
#include "hostile_model.h"

#include <cstring>

extern "C"
{

    // Decodes `size` bytes into the model that the twenty functions serve.
    __declspec(dllexport) ModelHandle
        HostileLib_Load(const uint8_t* data, uint32_t size, int32_t unstable_counts)
    {
        HostileOptions options;
        options.unstable_counts = unstable_counts != 0;
        HostileRun run;
        return HostileModel_Decode(data, size, options, run);
    }

    __declspec(dllexport) int32_t HostileLib_DestroyCount(ModelHandle model)
    {
        return HostileModel_Record(model).destroy_count;
    }

    // Copies the first call that the export promised never to make into
    // `text` (terminated, cut to `size`); returns its length, 0 for none.
    __declspec(dllexport) int32_t HostileLib_Violation(ModelHandle model, char* text, int32_t size)
    {
        const std::string& violation = HostileModel_Record(model).first_violation;
        if (text != nullptr && size > 0)
        {
            size_t length = violation.size() < static_cast<size_t>(size) - 1
                                ? violation.size()
                                : static_cast<size_t>(size) - 1;
            std::memcpy(text, violation.data(), length);
            text[length] = '\0';
        }
        return static_cast<int32_t>(violation.size());
    }

    __declspec(dllexport) void HostileLib_Free(ModelHandle model)
    {
        HostileModel_Free(model);
    }

} // extern "C"
