#include "run_binary.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

void Drain(int fd, std::string& into, bool& open)
{
    char chunk[4096];
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got > 0)
        into.append(chunk, static_cast<size_t>(got));
    else
        open = false;
}

} // namespace

BinaryRun RunMdlexport(const std::vector<std::string>& arguments, const BinaryRunOptions& options)
{
    int out_pipe[2], err_pipe[2], dead_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0 || pipe(dead_pipe) != 0)
        std::abort();
    close(dead_pipe[0]);
    pid_t child = fork();
    if (child < 0)
        std::abort();
    if (child == 0)
    {
        dup2(out_pipe[1], 1);
        dup2(options.closed_stderr ? dead_pipe[1] : err_pipe[1], 2);
        std::signal(SIGPIPE, SIG_DFL); // as a shell starts a program
        close(dead_pipe[1]);
        close(out_pipe[0]);
        close(out_pipe[1]);
        close(err_pipe[0]);
        close(err_pipe[1]);
        if (!options.working_directory.empty() && chdir(options.working_directory.c_str()) != 0)
            _exit(126);
        if (options.file_size_limit >= 0)
        {
            // An ignored signal stays ignored across exec: the write fails
            // with EFBIG instead of ending the process.
            if (!options.file_size_signal)
                std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                         static_cast<rlim_t>(options.file_size_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        // Permissions bind root only in part; a test of them runs the
        // program as an ordinary user.
        if (options.unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(125);
        std::vector<char*> argv;
        std::string program = MDLEXPORT_BINARY;
        argv.push_back(program.data());
        std::vector<std::string> copies = arguments;
        for (std::string& argument : copies)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    close(dead_pipe[1]);
    BinaryRun run;
    bool out_open = true, err_open = true;
    while (out_open || err_open)
    {
        pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0)
            continue;
        if (out_open && (fds[0].revents & (POLLIN | POLLHUP)))
            Drain(out_pipe[0], run.out, out_open);
        if (err_open && (fds[1].revents & (POLLIN | POLLHUP)))
            Drain(err_pipe[0], run.err, err_open);
    }
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status))
        run.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    return run;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> ListFolder(const std::string& path)
{
    std::vector<std::string> names;
    DIR* folder = opendir(path.c_str());
    if (folder == nullptr)
        return names;
    while (dirent* entry = readdir(folder))
    {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(folder);
    std::sort(names.begin(), names.end());
    return names;
}
