// Every fault a user can cause ends in one line on standard error and exit code 2.
#include "plughost_runner.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace plughost_test;

namespace {

constexpr int kUserErrorExit = 2;

struct ErrorFiles {
    ScratchDirectory dir{"errors"};
    std::string text = (dir / "notes.txt").string();
    std::string dll32 = (dir / "effect32.dll").string();
    std::string stereo = (dir / "in.wav").string();
    std::string threeChannels = (dir / "three.wav").string();
    std::string out = (dir / "out.wav").string();

    ErrorFiles()
    {
        std::ofstream(text) << "this is not a module\n";
        writeFloatWav(stereo, 2, 44100, std::vector<float>(200, 0.25f));
        writeFloatWav(threeChannels, 3, 44100, std::vector<float>(300, 0.25f));
        writeTiny32BitDll();
        std::filesystem::create_directory(dir / "sub.csv");
    }

    // The smallest file that reads as a 32-bit x86 Windows DLL: a DOS header
    // whose e_lfanew points at a PE signature with machine type i386.
    void writeTiny32BitDll() const
    {
        std::string bytes(64, '\0');
        bytes[0] = 'M';
        bytes[1] = 'Z';
        bytes[0x3c] = 0x40;
        bytes += std::string("PE\0\0", 4);
        bytes += std::string("\x4c\x01", 2);
        bytes += std::string(18, '\0');
        std::ofstream(dll32, std::ios::binary) << bytes;
    }
};

struct ErrorCase {
    const char* what;
    std::vector<std::string> (*arguments)(const ErrorFiles&);
    const char* message;
};

const ErrorCase kCases[] = {
    {"missing file",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"info", f.dir.string() + "/absent.so"};
     },
     "absent.so: no such file"},
    {"not a module",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"info", f.text};
     },
     "notes.txt: not a module (neither an ELF shared object nor a Windows DLL)"},
    {"a Windows module",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"validate", f.dll32};
     },
     "effect32.dll: this is a 32-bit Windows module; this host loads 64-bit Linux modules"},
    {"a program, not a module",
     [](const ErrorFiles&) {
         return std::vector<std::string>{"info", PLUGHOST_PATH};
     },
     "plughost: cannot be loaded: "},
    {"no entry point",
     [](const ErrorFiles&) {
         return std::vector<std::string>{"info", fakeModule("no_entry")};
     },
     "fake_no_entry.so: no entry point (the module exports neither main nor VSTPluginMain)"},
    {"entry point answers null",
     [](const ErrorFiles&) {
         return std::vector<std::string>{"info", fakeModule("null_entry")};
     },
     "fake_null_entry.so: the entry point answered null (no effect was made)"},
    {"wrong magic",
     [](const ErrorFiles&) {
         return std::vector<std::string>{"validate", fakeModule("wrong_magic")};
     },
     "fake_wrong_magic.so: the entry point's record has the wrong magic 0x4F6F7073 (expected 0x56737450)"},
    {"unknown parameter",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo, f.out, "--set", "Volume=0.5"};
     },
     "unknown parameter 'Volume' (this module has: Gain)"},
    {"unknown parameter in a compared curve",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"curve", fakeModule("pass_through"), "--compare", "Gain=1,Volume=0.5",
                                         "--out", (f.dir / "c.csv").string()};
     },
     "unknown parameter 'Volume' (this module has: Gain)"},
    {"value above 1",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo, f.out, "--set", "Gain=1.5"};
     },
     "value 1.5 for 'Gain' is outside 0 to 1 (values are normalised)"},
    {"value below 0",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"curve", fakeModule("pass_through"), "--set", "gain=-0.1",
                                         "--out", (f.dir / "c.csv").string()};
     },
     "value -0.1 for 'gain' is outside 0 to 1 (values are normalised)"},
    {"setting without a value",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo, f.out, "--set", "Gain"};
     },
     "--set expects NAME=VALUE, got 'Gain'"},
    {"unsupported audio file",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.text, f.out};
     },
     "notes.txt: cannot read audio: "},
    {"unreadable audio file",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.dir.string() + "/absent.wav", f.out};
     },
     "absent.wav: cannot read audio: "},
    {"more than two channels",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.threeChannels, f.out};
     },
     "three.wav: has 3 channels; only mono and stereo files can be rendered"},
    {"block size zero",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo, f.out, "--block", "0"};
     },
     "--block must be from 1 to 1048576 samples"},
    {"no command", [](const ErrorFiles&) { return std::vector<std::string>{}; }, "no command given; commands: "},
    {"unknown command", [](const ErrorFiles&) { return std::vector<std::string>{"foo"}; },
     "unknown command 'foo'; commands: "},
    {"option before the command", [](const ErrorFiles&) { return std::vector<std::string>{"--bogus"}; },
     "unknown option '--bogus' before the command; commands: "},
    {"command without module", [](const ErrorFiles&) { return std::vector<std::string>{"render"}; },
     "render: MODULE is required"},
    {"render without output",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo};
     },
     "render: OUT is required"},
    {"block size not a number",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo, f.out, "--block", "abc"};
     },
     "render: --block takes a whole number, not 'abc'"},
    {"block size missing",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo, f.out, "--block"};
     },
     "render: --block needs a value"},
    {"extra argument",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo, f.out, "again.wav"};
     },
     "render: The following argument was not expected: again.wav"},
    {"unknown option",
     [](const ErrorFiles&) {
         return std::vector<std::string>{"info", fakeModule("pass_through"), "--verbose"};
     },
     "info: The following argument was not expected: --verbose"},
    {"unknown sample format",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo, f.out, "--format", "double"};
     },
     "--format 'double' is not a sample format; choose pcm16, pcm24 or float"},
    {"unknown dither",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo, f.out, "--dither", "rpdf"};
     },
     "--dither 'rpdf' is not a dither; choose tpdf or none"},
    {"dither on float samples",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo, f.out, "--dither", "tpdf"};
     },
     "out.wav: --dither tpdf applies to pcm16 and pcm24 samples, and this output gets float samples"},
    {"repeat zero",
     [](const ErrorFiles&) {
         return std::vector<std::string>{"validate", fakeModule("pass_through"), "--repeat", "0"};
     },
     "--repeat must be 1 or more, not 0"},
    {"repeat not a number",
     [](const ErrorFiles&) {
         return std::vector<std::string>{"validate", fakeModule("pass_through"), "--repeat", "twice"};
     },
     "validate: --repeat takes a whole number, not 'twice'"},
    {"range not a number",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"curve", fakeModule("pass_through"), "--range", "wide",
                                         "--out", (f.dir / "c.csv").string()};
     },
     "curve: --range takes a number, not 'wide'"},
    {"range zero",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"curve", fakeModule("pass_through"), "--range", "0",
                                         "--out", (f.dir / "c.csv").string()};
     },
     "--range must be a positive number from 1.2e-38 to 3.4e38"},
    {"range beyond a float",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"curve", fakeModule("pass_through"), "--range", "1e39",
                                         "--out", (f.dir / "c.csv").string()};
     },
     "--range must be a positive number from 1.2e-38 to 3.4e38"},
    {"curve without output",
     [](const ErrorFiles&) {
         return std::vector<std::string>{"curve", fakeModule("pass_through")};
     },
     "curve: --out is required"},
    {"output is a folder",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"curve", fakeModule("pass_through"), "--out", f.dir.string() + "/sub.csv"};
     },
     "sub.csv: is a folder; name the file to write"},
    {"output is a device",
     [](const ErrorFiles& f) {
         std::filesystem::create_symlink("/dev/null", f.dir / "null.wav");
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo, f.dir.string() + "/null.wav"};
     },
     "null.wav: is not a regular file; name a new or a regular file to write"},
    {"output folder missing",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"render", fakeModule("pass_through"), f.stereo,
                                         f.dir.string() + "/absent/out.wav"};
     },
     "out.wav: cannot create a file in "},
    {"unknown plot type",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"curve", fakeModule("pass_through"), "--out", (f.dir / "c.gif").string()};
     },
     "c.gif: the curve is written as .svg, .png or .csv"},
    {"editor scale zero",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"editor", f.text, "--scale", "0"};
     },
     "--scale: Value 0 not in range 1 to 4"},
    {"editor scale not whole",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"editor", f.text, "--scale", "1.5"};
     },
     "--scale: Value 1.5 not in range 1 to 4"},
    {"editor scale no number",
     [](const ErrorFiles& f) {
         return std::vector<std::string>{"editor", f.text, "--scale", "two"};
     },
     "--scale: Value two not in range 1 to 4"},
};

} // namespace

TEST(PlughostUserErrors, EachGivesOneLineAndExitCodeTwo)
{
    const ErrorFiles files;
    for (const ErrorCase& c : kCases) {
        SCOPED_TRACE(c.what);
        const RunResult result = runPlughost(c.arguments(files));
        EXPECT_EQ(result.exitCode, kUserErrorExit);
        const auto errorLines = lines(result.err);
        ASSERT_EQ(errorLines.size(), 1u) << result.err;
        EXPECT_EQ(errorLines[0].rfind("plughost: ", 0), 0u) << errorLines[0];
        EXPECT_NE(errorLines[0].find(c.message), std::string::npos) << errorLines[0];
        EXPECT_EQ(result.out, "");
    }
}

TEST(PlughostUserErrors, AMissingOrUnknownCommandListsTheCommands)
{
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{}, std::vector<std::string>{"foo"}}) {
        const RunResult result = runPlughost(arguments);
        for (const char* command : {"info", "render", "curve", "validate"})
            EXPECT_NE(result.err.find(command), std::string::npos) << command << " missing from " << result.err;
    }
}

TEST(PlughostUserErrors, RenderWritesNoOutputForAnUnknownParameter)
{
    const ErrorFiles files;
    runPlughost({"render", fakeModule("pass_through"), files.stereo, files.out, "--set", "Volume=0.5"});
    EXPECT_FALSE(std::filesystem::exists(files.out));
}

TEST(PlughostCommandLine, HelpNamesTheFourCommands)
{
    const RunResult result = runPlughost({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    for (const char* command : {"info", "render", "curve", "validate"})
        EXPECT_NE(result.out.find(command), std::string::npos) << command;
}

TEST(PlughostCommandLine, MissingSubcommandFails)
{
    EXPECT_NE(runPlughost({}).exitCode, 0);
}
