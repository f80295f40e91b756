// linestra-render as a user meets it: run in a pseudo-terminal (the bar
// redrawn in place), through pipes (plain lines, a clean standard output),
// interrupted with SIGINT (exit 130, no temporary), and watching a scene.
// Every wait is bounded; nothing asserts how long anything took.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kRender = LINESTRA_RENDER;
const fs::path kScenes = fs::path(LINESTRA_SOURCE_DIR) / "tests/harness/cli/scenes";

// A run of linestra-render: in a pseudo-terminal (standard output and error
// both the terminal) or with standard output and error as separate pipes.
class Child {
public:
    Child(const std::vector<std::string>& args, const fs::path& folder, bool terminal)
    {
        std::vector<std::string> argv{kRender};
        argv.insert(argv.end(), args.begin(), args.end());
        int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
        if (terminal) {
            winsize size{};
            size.ws_col = 100;
            size.ws_row = 24;
            pid_ = forkpty(&errFd_, nullptr, nullptr, &size);
        } else {
            if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
                throw std::runtime_error("pipe");
            pid_ = fork();
        }
        if (pid_ < 0)
            throw std::runtime_error("fork");
        if (pid_ == 0) {
            if (!terminal) {
                dup2(outPipe[1], STDOUT_FILENO);
                dup2(errPipe[1], STDERR_FILENO);
                close(outPipe[0]);
                close(errPipe[0]);
            }
            // SIGINT as an interactive shell leaves it, whatever the test's
            // own disposition.
            std::signal(SIGINT, SIG_DFL);
            if (chdir(folder.c_str()) != 0)
                _exit(126);
            std::vector<char*> cargs;
            for (std::string& a : argv)
                cargs.push_back(a.data());
            cargs.push_back(nullptr);
            execv(cargs[0], cargs.data());
            _exit(127);
        }
        if (!terminal) {
            close(outPipe[1]);
            close(errPipe[1]);
            outFd_ = outPipe[0];
            errFd_ = errPipe[0];
        }
    }
    ~Child()
    {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (outFd_ >= 0)
            close(outFd_);
        if (errFd_ >= 0)
            close(errFd_);
    }

    // Reads what is there for up to `wait`; false once both ends closed.
    bool pump(std::chrono::milliseconds wait)
    {
        std::vector<pollfd> fds;
        if (outFd_ >= 0)
            fds.push_back({outFd_, POLLIN, 0});
        if (errFd_ >= 0)
            fds.push_back({errFd_, POLLIN, 0});
        if (fds.empty())
            return false;
        if (poll(fds.data(), fds.size(), static_cast<int>(wait.count())) <= 0)
            return true;
        for (const pollfd& p : fds) {
            if (p.revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(p.fd, buffer, sizeof buffer);
            std::string& text = p.fd == outFd_ ? out_ : err_;
            if (n > 0) {
                text.append(buffer, static_cast<std::size_t>(n));
            } else {
                close(p.fd); // end of file (a terminal answers EIO once the child is gone)
                (p.fd == outFd_ ? outFd_ : errFd_) = -1;
            }
        }
        return true;
    }
    // Reads until `done` holds or `limit` passes; whether it held.
    bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = 60s)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            if (!pump(50ms))
                std::this_thread::sleep_for(50ms);
        }
        return true;
    }
    // Reads to the end and returns the exit status (-1 when it did not end
    // within the limit).
    int finish(std::chrono::seconds limit = 120s)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            pump(50ms);
            int status = 0;
            if (status_ < 0 && waitpid(pid_, &status, WNOHANG) == pid_)
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (status_ >= 0 && outFd_ < 0 && errFd_ < 0)
                return status_;
            if (status_ >= 0) {
                // Drain what is left without waiting on a terminal that may
                // stay open.
                while (pump(20ms) && (outFd_ >= 0 || errFd_ >= 0)) {
                }
                return status_;
            }
        }
        return -1;
    }
    void signal(int sig) { kill(pid_, sig); }
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    int status_ = -1;
    std::string out_, err_;
};

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() /
                  ("linestra-cli-" + std::to_string(getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool anyTemporary() const
    {
        for (const std::string& name : files())
            if (name.find(".part-") != std::string::npos)
                return true;
        return false;
    }
    fs::path folder_;
};

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST_F(CommandLine, OnATerminalTheBarIsRedrawnInPlace)
{
    Child run({(kScenes / "small.json").string(), "-o", "f.png"}, folder_, true);
    ASSERT_EQ(run.finish(), 0) << run.err();
    const std::string& screen = run.err(); // the terminal: standard error and output together
    EXPECT_TRUE(Contains(screen, "\r[")) << screen;
    EXPECT_TRUE(Contains(screen, "\033[K")) << screen;
    EXPECT_TRUE(Contains(screen, "%  frame 2")) << screen;
    EXPECT_TRUE(Contains(screen, "3/3 done")) << screen;
    // The module's diagnostic text is dropped without --verbose.
    EXPECT_FALSE(Contains(screen, "Time spent")) << screen;
    EXPECT_TRUE(Contains(screen, "3 frames in ")) << screen;
    EXPECT_EQ(files(), (std::vector<std::string>{"f_0000.png", "f_0001.png", "f_0002.png"}));
}

TEST_F(CommandLine, VerboseShowsTheModulesTextAboveTheBar)
{
    Child run({(kScenes / "small.json").string(), "-o", "f.png", "--frames", "1", "--verbose"}, folder_, true);
    ASSERT_EQ(run.finish(), 0) << run.err();
    // The bar is cleared, the text printed on its own line, the bar drawn again.
    EXPECT_TRUE(Contains(run.err(), "\r\033[KTime spent on that literal one thing: ")) << run.err();
}

TEST_F(CommandLine, ThroughPipesFramesPrintPlainLinesAndStandardOutputStaysEmpty)
{
    Child run({(kScenes / "small.json").string(), "-o", "f.png", "--verbose"}, folder_, false);
    ASSERT_EQ(run.finish(), 0) << run.err();
    EXPECT_EQ(run.out(), "");
    EXPECT_FALSE(Contains(run.err(), "\r")) << run.err();
    EXPECT_FALSE(Contains(run.err(), "\033")) << run.err();
    for (const char* line : {"frame 0 done in", "frame 1 done in", "frame 2 done in", "(3/3, 100%)",
                             "Time spent on that literal one thing", "wrote 3 frames", "frames/s)"})
        EXPECT_TRUE(Contains(run.err(), line)) << line << " in\n" << run.err();

    Child quiet({(kScenes / "small.json").string(), "-o", "q.png", "--quiet"}, folder_, false);
    ASSERT_EQ(quiet.finish(), 0) << quiet.err();
    EXPECT_EQ(quiet.out(), "");
    EXPECT_EQ(quiet.err(), "");

    // What the user asks for does go to standard output, and only that.
    Child describe({"--describe"}, folder_, false);
    ASSERT_EQ(describe.finish(), 0) << describe.err();
    EXPECT_EQ(describe.out().rfind("Module: ", 0), 0u) << describe.out();
    EXPECT_FALSE(Contains(describe.out(), "Time spent"));
}

TEST_F(CommandLine, InterruptCancelsTheFrameAndLeavesOnlyWholeFrames)
{
    // Enough frames that the interrupt falls inside the run.
    Child run({(kScenes / "interrupt.json").string(), "-o", "i_##.png", "--stats", "stats.json"}, folder_, false);
    ASSERT_TRUE(run.waitFor([&] { return Contains(run.err(), "frame 1 done"); })) << run.err();
    run.signal(SIGINT);
    ASSERT_EQ(run.finish(), 130) << run.err();
    EXPECT_TRUE(Contains(run.err(), "linestra-render: interrupted")) << run.err();
    EXPECT_EQ(run.out(), "");
    EXPECT_FALSE(anyTemporary());
    // Frames 0, 1, ... up to the one interrupted, each whole; no stats for
    // a run that did not finish.
    const std::vector<std::string> names = files();
    ASSERT_GE(names.size(), 2u);
    ASSERT_LT(names.size(), 40u);
    for (std::size_t i = 0; i < names.size(); ++i) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "i_%02zu.png", i);
        EXPECT_EQ(names[i], expected);
        EXPECT_GT(fs::file_size(folder_ / names[i]), 0u);
    }
}

TEST_F(CommandLine, AFailedWriteStopsTheRunNamingTheFrameAndKeepsTheFramesBefore)
{
    // Frame 1's name is taken by a folder: its write (on the writer thread)
    // fails at the rename, and no later frame is written.
    fs::create_directory(folder_ / "f_0001.png");
    Child run({(kScenes / "small.json").string(), "-o", "f.png"}, folder_, false);
    ASSERT_EQ(run.finish(), 1) << run.err();
    EXPECT_TRUE(Contains(run.err(), "linestra-render: frame 1: cannot write")) << run.err();
    EXPECT_TRUE(Contains(run.err(), "f_0001.png")) << run.err();
    EXPECT_EQ(files(), (std::vector<std::string>{"f_0000.png", "f_0001.png"}));
    EXPECT_TRUE(fs::is_directory(folder_ / "f_0001.png"));
}

TEST_F(CommandLine, WatchRendersAgainAfterAChangeAndSurvivesABadEdit)
{
    const fs::path scene = folder_ / "scene.json";
    fs::copy_file(kScenes / "small.json", scene);
    const fs::path output = folder_ / "w.png";
    Child run({"scene.json", "-o", "w.png", "--frames", "0", "--watch"}, folder_, false);
    ASSERT_TRUE(run.waitFor([&] { return Contains(run.err(), "watching"); })) << run.err();
    ASSERT_TRUE(fs::exists(output));
    fs::remove(output);

    // A bad edit: the error is printed and the watch goes on.
    std::ofstream(scene) << "{\"size\": [96, 64], \"colour\": 1}\n";
    ASSERT_TRUE(run.waitFor([&] { return Contains(run.err(), "unknown key \"colour\""); })) << run.err();
    const std::size_t seen = run.err().find("unknown key");
    ASSERT_TRUE(run.waitFor([&] { return Contains(run.err().substr(seen), "watching"); })) << run.err();
    EXPECT_FALSE(fs::exists(output));

    // A good edit renders again.
    fs::copy_file(kScenes / "small.json", scene, fs::copy_options::overwrite_existing);
    ASSERT_TRUE(run.waitFor([&] { return fs::exists(output); })) << run.err();
    run.signal(SIGINT);
    EXPECT_EQ(run.finish(), 130) << run.err();
    EXPECT_EQ(run.out(), "");
    EXPECT_FALSE(anyTemporary());
}

} // namespace
