// plughost never loses a user's file: an output that is the input is refused
// before anything is written, and a render that fails or is interrupted leaves
// no file behind and an earlier file of the output's name as it was.
#include "plughost_runner.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

using namespace plughost_test;

namespace {

constexpr int kUserErrorExit = 2;

std::string bytesOf(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void expectOneErrorLine(const RunResult& result, const std::string& message)
{
    EXPECT_EQ(result.exitCode, kUserErrorExit);
    const auto errorLines = lines(result.err);
    ASSERT_EQ(errorLines.size(), 1u) << result.err;
    EXPECT_NE(errorLines[0].find(message), std::string::npos) << errorLines[0];
}

// Cuts a FLAC file where its third frame starts, so that the decoder meets a clean end after
// two whole frames. Frames start with the bytes the first one starts with, then their number.
void cutAtAFlacFrame(const std::filesystem::path& file)
{
    const std::string bytes = bytesOf(file);
    std::size_t at = 4; // after "fLaC", metadata blocks of a flag and type byte and a 24-bit length
    for (bool last = false; !last && at + 4 <= bytes.size(); at += 4 + ((std::uint8_t(bytes[at + 1]) << 16) |
                                                                         (std::uint8_t(bytes[at + 2]) << 8) |
                                                                         std::uint8_t(bytes[at + 3])))
        last = (bytes[at] & 0x80) != 0;
    const std::string header = bytes.substr(at, 4);
    std::size_t third = at;
    while ((third = bytes.find(header, third + 1)) != std::string::npos && bytes[third + 4] != '\x02') {
    }
    ASSERT_NE(third, std::string::npos) << "no third frame in " << file;
    std::filesystem::resize_file(file, third);
}

} // namespace

TEST(PlughostDataSafety, RefusesAnOutputThatIsTheInputAndLeavesItsBytes)
{
    const struct {
        const char* what;
        std::string (*output)(const std::filesystem::path& dir);
    } cases[] = {
        {"the same path", [](const std::filesystem::path& dir) { return (dir / "take.wav").string(); }},
        {"a ./ path", [](const std::filesystem::path& dir) { return (dir / "." / "take.wav").string(); }},
        {"a path through ..",
         [](const std::filesystem::path& dir) { return (dir / ".." / dir.filename() / "take.wav").string(); }},
        {"a symbolic link",
         [](const std::filesystem::path& dir) {
             std::filesystem::create_symlink("take.wav", dir / "link.wav");
             return (dir / "link.wav").string();
         }},
        {"a hard link",
         [](const std::filesystem::path& dir) {
             std::filesystem::create_hard_link(dir / "take.wav", dir / "hard.wav");
             return (dir / "hard.wav").string();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScratchDirectory dir("same-file");
        writeWav(dir / "take.wav", 2, 44100, std::vector<float>(2000, 0.25f), kPcm16Wav);
        const std::string before = bytesOf(dir / "take.wav");
        const std::string output = c.output(dir.path());
        const auto contents = folderContents(dir.path());
        const RunResult result =
            runPlughost({"render", fakeModule("pass_through"), (dir / "take.wav").string(), output});
        expectOneErrorLine(result, "is the input file");
        EXPECT_EQ(bytesOf(dir / "take.wav"), before);
        EXPECT_EQ(folderContents(dir.path()), contents);
    }
}

// A damaged input never makes a render look done: a decoder that loses its way, a header
// that declares more audio than the file holds, an Ogg stream without its end and a header
// libsndfile cannot read each end it with one line naming the input and exit 2. A WAV
// streamed with its length unknown (0xffffffff) is no damage: it renders whole.
TEST(PlughostDataSafety, ADamagedInputEndsTheRenderAndLeavesTheEarlierOutput)
{
    const struct {
        const char* input;
        int format;
        void (*damage)(const std::filesystem::path&);
        const char* message;
    } cases[] = {
        {"cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
         [](const std::filesystem::path& file) { std::filesystem::resize_file(file, 20000); },
         "cut.flac: damaged: reading stopped after 4096 frames (flac decoder lost sync); "},
        {"frame.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, cutAtAFlacFrame,
         "frame.flac: damaged: it ends after 8192 of the 24000 frames its header declares"},
        {"cut.wav", kPcm16Wav, [](const std::filesystem::path& file) { std::filesystem::resize_file(file, 30000); },
         "cut.wav: damaged: its header declares more audio than the file holds (7489 frames are there)"},
        {"cut.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16,
         [](const std::filesystem::path& file) { std::filesystem::resize_file(file, 30000); },
         "cut.aiff: damaged: its header declares more audio than the file holds"},
        {"cut.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS,
         [](const std::filesystem::path& file) { std::filesystem::resize_file(file, 20000); },
         "cut.ogg: damaged: its Ogg stream ends without its last page"},
        {"header.wav", kPcm16Wav,
         [](const std::filesystem::path& file) {
             std::fstream(file, std::ios::in | std::ios::out | std::ios::binary).seekp(20).put('\x4d');
         },
         "header.wav: cannot read audio: "},
        {"streamed.wav", kPcm16Wav,
         [](const std::filesystem::path& file) {
             std::fstream(file, std::ios::in | std::ios::out | std::ios::binary).seekp(40).write("\xff\xff\xff\xff", 4);
         },
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const ScratchDirectory dir("damaged");
        std::vector<float> noise(2 * 24000);
        unsigned int seed = 7;
        for (float& sample : noise)
            sample = static_cast<float>((seed = seed * 1103515245u + 12345u) >> 8) * 0x1p-24f - 0.5f;
        writeWav(dir / c.input, 2, 48000, noise, c.format);
        c.damage(dir / c.input);
        std::ofstream(dir / "out.wav") << "an earlier take";
        const RunResult result =
            runPlughost({"render", fakeModule("pass_through"), (dir / c.input).string(), (dir / "out.wav").string()});
        if (*c.message == '\0') {
            EXPECT_EQ(result.exitCode, 0) << result.err;
            EXPECT_EQ(readFloats(dir / "out.wav").size(), noise.size());
            continue;
        }
        expectOneErrorLine(result, c.message);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(bytesOf(dir / "out.wav"), "an earlier take");
        EXPECT_EQ(folderContents(dir.path()), (std::vector<std::string>{c.input, "out.wav"}));
    }
}

// A crash after the rename must not leave an empty or partial file under the output's name:
// the data reaches the disk before the temporary file is renamed into place. A preloaded
// library logs plughost's fsync and rename calls in the order it makes them.
TEST(PlughostDataSafety, TheOutputReachesTheDiskBeforeItIsRenamedIntoPlace)
{
    const ScratchDirectory dir("flush");
    writeFloatWav(dir / "in.wav", 1, 8000, std::vector<float>(4000, 0.25f));
    const std::vector<std::vector<std::string>> commands{
        {"render", fakeModule("pass_through"), (dir / "in.wav").string(), (dir / "out.wav").string()},
        {"curve", fakeModule("pass_through"), "--out", (dir / "out.csv").string()},
    };
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command[0]);
        std::filesystem::remove(dir / "log");
        const char* sanitizer = std::getenv("ASAN_OPTIONS");
        const std::string sanitizerOptions = sanitizer ? sanitizer : "";
        ::setenv("PLUGHOST_FILE_CALL_LOG", (dir / "log").c_str(), 1);
        ::setenv("LD_PRELOAD", FILE_CALL_LOG_PATH, 1);
        ::setenv("ASAN_OPTIONS", (sanitizerOptions + ":verify_asan_link_order=0").c_str(), 1);
        EXPECT_EQ(runPlughost(command).exitCode, 0);
        ::unsetenv("PLUGHOST_FILE_CALL_LOG");
        ::unsetenv("LD_PRELOAD");
        sanitizer ? ::setenv("ASAN_OPTIONS", sanitizerOptions.c_str(), 1) : ::unsetenv("ASAN_OPTIONS");
        std::vector<std::string> flushed;
        bool renamed = false;
        for (const std::string& line : lines(bytesOf(dir / "log"))) {
            char call[16], from[4096], to[4096] = "";
            if (std::sscanf(line.c_str(), "%15s %4095s %4095s", call, from, to) < 2)
                continue;
            if (std::string(call) == "fsync")
                flushed.push_back(from);
            if (std::string(call) == "rename" && std::string(to) == command.back()) {
                renamed = true;
                EXPECT_NE(std::find(flushed.begin(), flushed.end(), from), flushed.end())
                    << from << " was renamed over " << to << " before it was flushed";
            }
        }
        EXPECT_TRUE(renamed) << bytesOf(dir / "log");
    }
}

// A replaced output keeps the permissions it had; a new one gets those of any new file,
// 0666 less the umask (mkostemp alone would give 0600).
TEST(PlughostDataSafety, AReplacedOutputKeepsItsPermissionsAndANewOneFollowsTheUmask)
{
    const struct {
        int existing; // 0: no earlier file
        mode_t umask;
        int expected;
    } rows[] = {
        {0664, 022, 0664}, {0600, 022, 0600}, {0640, 077, 0640}, {0604, 0, 0604},
        {0, 022, 0644},    {0, 077, 0600},    {0, 002, 0664},
    };
    const ScratchDirectory dir("permissions");
    writeFloatWav(dir / "in.wav", 1, 8000, std::vector<float>(100, 0.25f));
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << std::oct << "earlier file 0" << row.existing << ", umask 0" << row.umask);
        std::filesystem::remove(dir / "out.wav");
        if (row.existing != 0) {
            std::ofstream(dir / "out.wav") << "an earlier take";
            ASSERT_EQ(::chmod((dir / "out.wav").c_str(), static_cast<mode_t>(row.existing)), 0);
        }
        const mode_t saved = ::umask(row.umask);
        const RunResult result =
            runPlughost({"render", fakeModule("pass_through"), (dir / "in.wav").string(), (dir / "out.wav").string()});
        ::umask(saved);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        struct stat written {};
        ASSERT_EQ(::stat((dir / "out.wav").c_str(), &written), 0);
        EXPECT_EQ(written.st_mode & 07777, static_cast<mode_t>(row.expected))
            << std::oct << "0" << (written.st_mode & 07777) << " instead of 0" << row.expected;
    }
}

// An output that is a symbolic link, also to a file that does not exist yet or through a
// chain of links, is written through: the file it names is made or replaced and the links
// stay. A link into a folder that does not exist is refused with one line.
TEST(PlughostDataSafety, ALinkedOutputIsWrittenThroughAndTheLinkKept)
{
    const ScratchDirectory dir("links");
    writeFloatWav(dir / "in.wav", 1, 8000, std::vector<float>(100, 0.25f));
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> links; // name, what it names
        const char* target;                                     // made, or "" when refused
    } cases[] = {
        {"to a file not there yet", {{"out.wav", "take.wav"}}, "take.wav"},
        {"to an existing file", {{"out.wav", "take.wav"}}, "take.wav"},
        {"by an absolute path", {{"out.wav", (dir / "sub" / "abs.wav").string()}}, "sub/abs.wav"},
        {"through a chain", {{"out.wav", "middle.wav"}, {"middle.wav", "sub/end.wav"}}, "sub/end.wav"},
        {"into a missing folder", {{"out.wav", "absent/take.wav"}}, ""},
    };
    std::filesystem::create_directory(dir / "sub");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& [name, named] : c.links) {
            std::filesystem::remove(dir / name);
            std::filesystem::create_symlink(named, dir / name);
        }
        if (std::string(c.what) == "to an existing file")
            std::ofstream(dir / "take.wav") << "an earlier take";
        const auto before = folderContents(dir.path());
        const RunResult result =
            runPlughost({"render", fakeModule("pass_through"), (dir / "in.wav").string(), (dir / "out.wav").string()});
        for (const auto& link : c.links)
            EXPECT_TRUE(std::filesystem::is_symlink(dir / link.first)) << link.first;
        if (*c.target == '\0') {
            expectOneErrorLine(result, "out.wav: is a link to " + (dir / "absent" / "take.wav").string() +
                                           ", whose folder does not exist");
            EXPECT_EQ(folderContents(dir.path()), before);
            continue;
        }
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(readFloats(dir / c.target), std::vector<float>(100, 0.25f));
        std::filesystem::remove(dir / c.target);
    }
}

TEST(PlughostDataSafety, RefusesToWriteOverTheModule)
{
    const ScratchDirectory dir("module-file");
    std::filesystem::copy_file(fakeModule("pass_through"), dir / "module.so");
    const std::string before = bytesOf(dir / "module.so");
    writeFloatWav(dir / "in.wav", 1, 44100, std::vector<float>(100, 0.25f));
    expectOneErrorLine(
        runPlughost({"render", (dir / "module.so").string(), (dir / "in.wav").string(), (dir / "module.so").string()}),
        "is the module file");
    // A module whose name ends in .csv loads as well as any other.
    std::filesystem::copy_file(dir / "module.so", dir / "module.csv");
    expectOneErrorLine(runPlughost({"curve", (dir / "module.csv").string(), "--out", (dir / "module.csv").string()}),
                       "is the module file");
    EXPECT_EQ(bytesOf(dir / "module.so"), before);
    EXPECT_EQ(bytesOf(dir / "module.csv"), before);
}

// A file system of 16 KiB (smaller than the render and the 50 KB picture), mounted in a mount namespace of its own so
// it vanishes with the command, whatever the test's outcome.
TEST(PlughostDataSafety, AFullDiskLeavesNoFile)
{
    const ScratchDirectory dir("full-disk");
    std::filesystem::create_directory(dir / "tiny");
    const std::string unshare = ::geteuid() == 0 ? "unshare -m" : "unshare -r -m";
    const std::string mount = "mount -t tmpfs -o size=16k plughost-test '" + (dir / "tiny").string() + "'";
    if (std::system((unshare + " sh -c \"" + mount + "\" >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root or unprivileged user namespaces)";

    writeFloatWav(dir / "in.wav", 2, 48000, std::vector<float>(2 * 48000, 0.25f));
    const struct {
        const char* what;
        std::string command;
    } cases[] = {
        {"render", "render '" + fakeModule("pass_through") + "' '" + (dir / "in.wav").string() + "' '" +
                       (dir / "tiny" / "out.wav").string() + "'"},
        {"curve", "curve '" + fakeModule("pass_through") + "' --out '" + (dir / "tiny" / "c.svg").string() + "'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Inside the namespace: mount, run plughost, then list what the full disk holds.
        const std::string script = mount + " && '" + PLUGHOST_PATH + "' " + c.command + " 2>'" +
                                   (dir / "err").string() + "' >/dev/null; echo $? >'" + (dir / "exit").string() +
                                   "'; ls -A '" + (dir / "tiny").string() + "' >'" + (dir / "left").string() + "'";
        std::ofstream(dir / "script.sh") << script << "\n";
        ASSERT_EQ(std::system((unshare + " sh '" + (dir / "script.sh").string() + "'").c_str()), 0);
        EXPECT_EQ(bytesOf(dir / "exit"), std::to_string(kUserErrorExit) + "\n");
        const auto errorLines = lines(bytesOf(dir / "err"));
        ASSERT_EQ(errorLines.size(), 1u) << bytesOf(dir / "err");
        EXPECT_NE(errorLines[0].find("plughost: "), std::string::npos);
        EXPECT_EQ(bytesOf(dir / "left"), "") << "left on the full disk";
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir / "tiny"));
}

TEST(PlughostDataSafety, AnInterruptedRenderLeavesNoFileAndTheEarlierOneIntact)
{
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signalNumber));
        const ScratchDirectory dir("interrupt");
        const ScratchDirectory logs("interrupt-logs");
        // The sleeping module takes a tenth of a millisecond per block, so with blocks of one
        // sample this render takes a minute at least: however busy the machine, the signal
        // below comes before its end.
        writeFloatWav(dir / "in.wav", 1, 8000, std::vector<float>(8000 * 75, 0.25f));
        std::ofstream(dir / "out.wav") << "an earlier take";
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            freopen((logs / "out").c_str(), "w", stdout);
            freopen((logs / "err").c_str(), "w", stderr);
            execl(PLUGHOST_PATH, PLUGHOST_PATH, "render", fakeModule("sleeping").c_str(), (dir / "in.wav").c_str(),
                  (dir / "out.wav").c_str(), "--block", "1", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Wait for the temporary file, so the signal comes in the middle of the render.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (folderContents(dir.path()).size() < 3 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(folderContents(dir.path()).size(), 3u) << "no temporary file appeared";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        kill(child, signalNumber);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 128 + signalNumber);
        const auto errorLines = lines(bytesOf(logs / "err"));
        ASSERT_EQ(errorLines.size(), 1u) << bytesOf(logs / "err");
        EXPECT_NE(errorLines[0].find("interrupted; "), std::string::npos) << errorLines[0];
        EXPECT_EQ(folderContents(dir.path()), (std::vector<std::string>{"in.wav", "out.wav"}));
        EXPECT_EQ(bytesOf(dir / "out.wav"), "an earlier take");
    }
}
