// Parsing reelhost's arguments into a CommandLine, one table row per option.
#include "command_line.h"
#include "host_error.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <set>
#include <span>

namespace reelhost {
namespace {

enum CommandBit : unsigned { kInfo = 1, kRender = 2, kThumbnail = 4, kConfigure = 8 };
constexpr unsigned kAllCommands = kInfo | kRender | kThumbnail | kConfigure;

struct CommandName {
    const char* name;
    Command command;
    CommandBit bit;
};
constexpr CommandName kCommands[] = {
    {"info", Command::Info, kInfo},
    {"render", Command::Render, kRender},
    {"thumbnail", Command::Thumbnail, kThumbnail},
    {"configure", Command::Configure, kConfigure},
};

// A whole-string integer from `low` to the largest 32-bit value.
int32_t ParseCount(const std::string& text, const std::string& option, int32_t low) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, err] = std::from_chars(text.data(), end, value);
    if (err != std::errc() || stop != end || value < low ||
        value > std::numeric_limits<int32_t>::max())
        throw UsageError(option + " needs a whole number from " + std::to_string(low) + " to " +
                         std::to_string(std::numeric_limits<int32_t>::max()) + ", not '" + text +
                         "'");
    return int32_t(value);
}

// Three comma-separated slider positions, each from 0 to 1.
std::array<float, kHostSliderCount> ParseSliders(const std::string& text,
                                                 const std::string& option) {
    std::array<float, kHostSliderCount> values{};
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < kHostSliderCount; ++i) {
        const auto [stop, err] = std::from_chars(p, end, values[size_t(i)]);
        const bool last = i == kHostSliderCount - 1;
        const bool separated = last ? stop == end : (stop != end && *stop == ',');
        if (err != std::errc() || !separated || !std::isfinite(values[size_t(i)]) ||
            values[size_t(i)] < 0.0f || values[size_t(i)] > 1.0f)
            throw UsageError(option +
                             " needs three values from 0 to 1 separated by commas, "
                             "such as 0.5,0.25,1, not '" +
                             text + "'");
        p = stop + 1;
    }
    return values;
}

struct Option {
    const char* name;
    const char* shortName; // or null
    bool takesValue;
    unsigned commands;
    void (*apply)(CommandLine& line, const std::string& value, const std::string& name);
};

const Option kOptions[] = {
    {"--output", "-o", true, kRender | kThumbnail,
     [](CommandLine& l, const std::string& v, const std::string&) { l.output = v; }},
    {"--fade-in", nullptr, true, kRender,
     [](CommandLine& l, const std::string& v, const std::string& n) {
         l.settings.fadeInFrames = ParseCount(v, n, 0);
     }},
    {"--fade-out", nullptr, true, kRender,
     [](CommandLine& l, const std::string& v, const std::string& n) {
         l.settings.fadeOutFrames = ParseCount(v, n, 0);
     }},
    {"--sliders", nullptr, true, kRender,
     [](CommandLine& l, const std::string& v, const std::string& n) {
         l.settings.sliders = ParseSliders(v, n);
     }},
    {"--start", nullptr, true, kRender,
     [](CommandLine& l, const std::string& v, const std::string& n) {
         l.start = ParseCount(v, n, 0);
     }},
    {"--frames", nullptr, true, kRender,
     [](CommandLine& l, const std::string& v, const std::string& n) {
         l.frames = ParseCount(v, n, 1);
     }},
    {"--at", nullptr, true, kThumbnail | kConfigure,
     [](CommandLine& l, const std::string& v, const std::string& n) {
         l.at = ParseCount(v, n, 0);
     }},
    {"--codec", nullptr, true, kRender,
     [](CommandLine& l, const std::string& v, const std::string& n) {
         l.codec = VideoCodecNamed(v);
         if (!l.codec) throw UsageError(n + " needs " + VideoCodecNames() + ", not '" + v + "'");
     }},
    {"--proxy", nullptr, false, kRender,
     [](CommandLine& l, const std::string&, const std::string&) { l.proxy = true; }},
    {"--bundle", nullptr, true, kAllCommands,
     [](CommandLine& l, const std::string& v, const std::string&) { l.bundle = v; }},
    {"--quiet", nullptr, false, kRender | kThumbnail,
     [](CommandLine& l, const std::string&, const std::string&) { l.quiet = true; }},
};

const Option* FindOption(const std::string& name) {
    for (const Option& option : kOptions)
        if (name == option.name || (option.shortName && name == option.shortName)) return &option;
    return nullptr;
}

bool IsHelp(const std::string& arg) {
    return arg == "-h" || arg == "--help" || arg == "help";
}

// Reads the options and operands that follow the command's name.
void ParseArguments(std::span<const std::string> args, const CommandName& command,
                    CommandLine& line) {
    std::set<const Option*> seen;
    std::vector<std::string> operands;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const Option* option = FindOption(name);
        if (!option) throw UsageError("unknown option '" + name + "'");
        if (!(option->commands & command.bit))
            throw UsageError(name + " does not apply to '" + command.name + "'");
        if (!seen.insert(option).second) throw UsageError(name + " is given more than once");
        std::string value;
        if (equals != std::string::npos) {
            if (!option->takesValue) throw UsageError(name + " takes no value");
            value = arg.substr(equals + 1);
        } else if (option->takesValue) {
            if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
            value = args[++i];
        }
        option->apply(line, value, name);
    }
    const size_t allowed = command.command == Command::Info ? 0 : 1;
    if (operands.size() > allowed)
        throw UsageError("unexpected argument '" + operands[allowed] + "'");
    if (!operands.empty()) line.input = operands.front();
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    if (args.empty()) throw UsageError("no command given");
    for (const std::string& arg : args)
        if (IsHelp(arg)) return line;
    const CommandName* command = nullptr;
    for (const CommandName& candidate : kCommands)
        if (args.front() == candidate.name) command = &candidate;
    if (!command) throw UsageError("unknown command '" + args.front() + "'");
    line.command = command->command;
    ParseArguments(std::span(args).subspan(1), *command, line);
    if ((line.command == Command::Render || line.command == Command::Thumbnail) &&
        line.output.empty())
        throw UsageError(std::string("'") + command->name + "' needs an output: -o PATH");
    return line;
}

std::string UsageText() {
    return std::string(R"(usage: reelhost info [--bundle PATH]
       reelhost render [INPUT] -o OUTPUT [--fade-in N] [--fade-out N] [--sliders A,B,C]
                       [--start S] [--frames N] [--codec NAME] [--proxy] [--bundle PATH]
                       [--quiet]
       reelhost thumbnail [INPUT] -o OUT.png [--at N] [--bundle PATH] [--quiet]
       reelhost configure [INPUT] [--at N] [--bundle PATH]

  info        the effect as the host lists it
  render      render the effect over a clip
  thumbnail   the effect's placeholder picture of one frame
  configure   open the effect's configuration window on frame --at of the clip (needs a
              display); OK saves the settings for the next render, Cancel keeps the old ones

  INPUT            a video file or image sequence (clip.mp4, frames/in_%03d.png);
                   omitted: the built-in demo clip (720 x 480, 30 fps, 4 s, with sound)
  -o OUTPUT        .mp4, .mkv or .mov: video with the input's sound (the whole clip;
                   frames outside the effect pass through unchanged), in the input's
                   pixel format and colours where the codec takes them;
                   out_%03d.png: every frame as a lossless RGBA image numbered from 0;
                   name.png: the effect's first frame only
  --fade-in N      frames over which the effect fades in (default 0)
  --fade-out N     frames over which the effect fades out (default 0)
  --sliders A,B,C  the host's three effect sliders, each 0 to 1 (default 0.5,0.5,0.5);
                   the effect declares them but does not use them
  --start S        the first frame the effect covers (default 0)
  --frames N       how many frames it covers (default: to the end of the clip)
  --codec NAME     how video outputs are written:
)") + VideoCodecLines(19) +
           R"(  --proxy          a quick half-size, low-quality preview render; the effect's frames
                   are silent, the frames outside it keep their sound
  --at N           the frame to show (default 0)
  --bundle PATH    the effect bundle (default: lumashift.bundle beside reelhost)
  --quiet          no progress and no summary

The effect's own settings (region, gain, offset, video format) are read from
$XDG_CONFIG_HOME/vorel-Prefs, or ~/.config/vorel-Prefs when that is unset.
A clip whose pictures last different times is rendered at a constant rate, each picture held
for as long as it lasts; reelhost says so when it does.
Exit status: 0 done; 1 a file, the bundle or the effect failed; 2 a command line that
cannot be acted on; 130 interrupted by Ctrl-C (the output holds the frames finished by then).
)";
}

} // namespace reelhost
