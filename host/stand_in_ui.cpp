#include "stand_in_ui.h"

#include "host_ui.h"

#include <cstring>

namespace
{

struct StandInUiState
{
    bool answer_with_path = false;
    std::string path;
    int dialog_count = 0;
    RecordedSaveDialog last_dialog;
    int warning_count = 0;
    RecordedWarning last_warning;
};

StandInUiState& State()
{
    static StandInUiState state;
    return state;
}

// The filter buffer's size, as the run allocates it.
constexpr size_t kFilterBytes = 128;
constexpr size_t kDefaultExtensionBytes = 32;

} // namespace

void StandInUi_AnswerWithPath(const std::string& path)
{
    State().answer_with_path = true;
    State().path = path;
}

void StandInUi_AnswerWithCancel()
{
    State().answer_with_path = false;
    State().path.clear();
}

void StandInUi_Reset()
{
    State() = StandInUiState{};
}

int StandInUi_DialogCount()
{
    return State().dialog_count;
}

const RecordedSaveDialog& StandInUi_LastDialog()
{
    return State().last_dialog;
}

int StandInUi_WarningCount()
{
    return State().warning_count;
}

const RecordedWarning& StandInUi_LastWarning()
{
    return State().last_warning;
}

bool AskSavePath(SaveDialogRequest& request)
{
    StandInUiState& state = State();
    RecordedSaveDialog& seen = state.last_dialog;
    ++state.dialog_count;
    seen.struct_size = request.struct_size;
    seen.filter_bytes = request.filter ? std::string(request.filter, kFilterBytes) : std::string();
    seen.file_capacity = request.file_capacity;
    seen.file_title_capacity = request.file_title_capacity;
    seen.file_was_empty = request.file != nullptr && request.file[0] == '\0';
    seen.file_title_was_empty = request.file_title != nullptr && request.file_title[0] == '\0';
    seen.title = request.title ? request.title : "";
    seen.flags = request.flags;
    seen.default_extension_bytes =
        request.default_extension ? std::string(request.default_extension, kDefaultExtensionBytes)
                                  : std::string();
    if (!state.answer_with_path)
        return false;
    // Like the real dialog, a path that does not fit the buffer is a failure.
    if (request.file == nullptr || state.path.size() + 1 > request.file_capacity)
        return false;
    std::memcpy(request.file, state.path.c_str(), state.path.size() + 1);
    if (request.file_title != nullptr && request.file_title_capacity > 0)
    {
        size_t slash = state.path.find_last_of("/\\");
        std::string title = slash == std::string::npos ? state.path : state.path.substr(slash + 1);
        if (title.size() + 1 > request.file_title_capacity)
            title.resize(request.file_title_capacity - 1);
        std::memcpy(request.file_title, title.c_str(), title.size() + 1);
    }
    return true;
}

void ShowWarning(const char* text, const char* caption, uint32_t style)
{
    StandInUiState& state = State();
    ++state.warning_count;
    state.last_warning.text = text ? text : "";
    state.last_warning.caption = caption ? caption : "";
    state.last_warning.style = style;
}
