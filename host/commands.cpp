// The info, render, thumbnail and configure commands, and how their failures are reported.
#include "commands.h"
#include "command_line.h"
#include "gworld.h"
#include "host_error.h"
#include "interrupt.h"
#include "plugin_bundle.h"
#include "render.h"

#include "Files.h"
#include "Folders.h"
#include "MacWindows.h"

extern "C" {
#include <libavutil/log.h>
}

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <sstream>

namespace reelhost {
namespace {

namespace fs = std::filesystem;

struct Console {
    std::FILE* out;
    std::FILE* err;
};

struct FlagName {
    uint32_t bit;
    const char* name;
};
constexpr FlagName kFlagNames[] = {
    {kPluginFlagRendersInPlace, "renders in place"},
    {kPluginFlagHasSliders, "has sliders"},
    {kPluginFlagWantsFades, "wants fades"},
    {kPluginFlagHasCustomButton, "has a custom button"},
};

std::string FlagsText(uint32_t flags) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", flags);
    std::string text = hex;
    const char* separator = ": ";
    for (const FlagName& flag : kFlagNames) {
        if (flags & flag.bit) {
            text += separator;
            text += flag.name;
            separator = ", ";
        }
    }
    return text;
}

template <size_t N> std::string Field(const char (&field)[N]) {
    return PluginText(field, N);
}

std::unique_ptr<ClipSource> OpenClip(const std::string& input) {
    return input.empty() ? OpenDemoClip() : OpenClipFile(input);
}

std::string BundlePathOf(const CommandLine& line) {
    return line.bundle.empty() ? DefaultBundlePath() : line.bundle;
}

void Warn(const Console& console, const std::string& warning) {
    if (!warning.empty()) std::fprintf(console.err, "reelhost: warning: %s\n", warning.c_str());
}

void Note(const Console& console, const std::string& note) {
    if (!note.empty()) std::fprintf(console.err, "reelhost: note: %s\n", note.c_str());
}

std::unique_ptr<PluginBundle> LoadBundle(const CommandLine& line, const Console& console) {
    auto bundle = std::make_unique<PluginBundle>(BundlePathOf(line));
    Warn(console, bundle->Warning());
    return bundle;
}

// Renders never replace their input: both paths resolved, links and ".." included.
void RefuseOverwritingInput(const std::string& input, const std::string& output) {
    if (input.empty()) return;
    std::error_code err;
    const auto in = std::filesystem::weakly_canonical(input, err);
    const auto out = std::filesystem::weakly_canonical(output, err);
    if (!err && in == out)
        throw UsageError("the output '" + output + "' is the input; choose another name");
}

// The effect covers [start, start + frames); both must lie inside the clip.
RenderPlan PlanFor(const CommandLine& line, const ClipInfo& clip, OutputKind kind) {
    RenderPlan plan;
    if (line.start >= clip.frameCount)
        throw UsageError("--start " + std::to_string(line.start) + " is past the end of " +
                         clip.name + ", which has " + std::to_string(clip.frameCount) +
                         " frames (0 to " + std::to_string(clip.frameCount - 1) + ")");
    const int64_t frames = line.frames.value_or(clip.frameCount - line.start);
    if (line.start + frames > clip.frameCount)
        throw UsageError("--frames " + std::to_string(frames) + " from frame " +
                         std::to_string(line.start) + " runs past the end of " + clip.name +
                         ", which has " + std::to_string(clip.frameCount) + " frames");
    plan.start = line.start;
    plan.frameCount = int32_t(frames);
    plan.proxy = line.proxy;
    // One image holds the effect's first frame; sequences and video hold the whole clip.
    plan.firstWritten = kind == OutputKind::SingleImage ? plan.start : 0;
    plan.endWritten = kind == OutputKind::SingleImage ? plan.start + 1 : clip.frameCount;
    return plan;
}

// The clip's size and rate; proxy renders are half size, as editors preview. Sound goes only
// into video.
OutputSettings OutputSettingsFor(const CommandLine& line, const ClipInfo& clip, bool sound) {
    OutputSettings settings;
    settings.path = line.output;
    settings.width = line.proxy ? std::max(1, clip.width / 2) : clip.width;
    settings.height = line.proxy ? std::max(1, clip.height / 2) : clip.height;
    settings.rate = clip.rate;
    settings.sound = sound;
    settings.soundFormat = clip.sound;
    if (line.codec) settings.codec = line.codec;
    settings.source = clip.format;
    return settings;
}

void ReportOutcome(const RenderOutcome& outcome, const OutputSettings& settings,
                   const FrameWriter& writer, const ProgressMeter& meter, const Console& console) {
    if (outcome.interrupted) {
        std::fprintf(console.err,
                     outcome.framesWritten > 0
                         ? "reelhost: interrupted; '%s' holds the first %lld frames\n"
                         : "reelhost: interrupted before the first frame; '%s' was not written\n",
                     settings.path.c_str(), (long long)outcome.framesWritten);
        return;
    }
    if (meter.Style() == ProgressStyle::Quiet) return;
    const double seconds = meter.Seconds();
    std::fprintf(console.out, "Wrote %s: %lld frames, %d x %d, %s, in %.1f s (%.1f fps)\n",
                 settings.path.c_str(), (long long)outcome.framesWritten, writer.Width(),
                 writer.Height(), writer.Description().c_str(), seconds,
                 seconds > 0 ? double(outcome.framesWritten) / seconds : 0.0);
}

// The effect covers the whole clip, drawing into `frame` at its full size.
void CoverWholeClip(_PluginParams& params, const ClipInfo& info, GWorldPtr frame) {
    params.startFrame = 0;
    params.frameCount = int32_t(std::min<int64_t>(info.frameCount, INT32_MAX));
    params.frame = frame;
    params.frameRect = ViewOf(frame).bounds;
}

void RequireFrameInClip(int32_t at, const ClipInfo& info) {
    if (at >= info.frameCount)
        throw UsageError("--at " + std::to_string(at) + " is past the end of " + info.name +
                         ", which has " + std::to_string(info.frameCount) + " frames");
}

int RunInfo(const CommandLine& line, const Console& console) {
    auto bundle = LoadBundle(line, console);
    auto clip = OpenDemoClip(); // describing needs no frames; the session wants a clip
    HostSession session(*clip, line.settings);
    PluginCaller caller(bundle->Entry(), session);
    caller.Require(kPlugGetInfo, "to describe the effect");
    const _PluginParams& p = caller.Params();

    std::FILE* out = console.out;
    const std::string name = bundle->InfoValue("CFBundleName");
    std::fprintf(out, "%s (%s)\n", name.empty() ? "Effect" : name.c_str(),
                 bundle->Identifier().c_str());
    std::fprintf(out, "  bundle:   %s\n", bundle->Path().c_str());
    std::fprintf(out, "  group:    %s\n", Field(p.getInfo2.group).c_str());
    std::fprintf(out, "  button:   %s\n", Field(p.getInfo3.buttonTitle).c_str());
    const int type = p.getInfo.pluginType;
    std::fprintf(out, "  type:     '%c' (%d)%s\n", type >= 32 && type < 127 ? type : '?', type,
                 type == kPluginFilterType ? ", video filter" : "");
    std::fprintf(out, "  flags:    %s\n", FlagsText(p.getInfo.pluginFlags).c_str());
    std::fprintf(out, "  memory:   %d bytes\n", p.getInfo2.baseMemoryNeeded);
    std::fprintf(out, "  host sliders:\n");
    for (int i = 0; i < kHostSliderCount; ++i) {
        const _HYPluginFilterSliderInfo& slider = p.getInfo2.filterSliders[i];
        std::fprintf(out, "    %d. %s  (%s to %s), default %.2f\n", i + 1,
                     Field(slider.label).c_str(), Field(slider.minLabel).c_str(),
                     Field(slider.maxLabel).c_str(), double(slider.defaultValue));
    }
    return kExitOK;
}

int RunRenderCommand(const CommandLine& line, const Console& console) {
    InterruptGuard interrupt; // from the start, so Ctrl-C during set-up stops cleanly too
    const OutputKind kind = OutputKindOf(line.output);
    if (line.codec && kind != OutputKind::Video)
        throw UsageError("--codec applies to video outputs (.mp4, .mkv, .mov), not '" +
                         line.output + "'");
    RefuseOverwritingInput(line.input, line.output);
    auto clip = OpenClip(line.input);
    const ClipInfo& info = clip->Info();
    Warn(console, info.soundProblem.empty() ? "" : info.soundProblem + "; rendering without sound");
    Note(console, info.rateNote);
    RenderPlan plan = PlanFor(line, info, kind);
    auto bundle = LoadBundle(line, console);

    HostSession session(*clip, line.settings);
    session.EnableSound(kind == OutputKind::Video);
    const OutputSettings settings = OutputSettingsFor(line, info, session.SoundOn());
    auto writer = OpenFrameWriter(kind, settings);
    Warn(console, writer->Note());
    plan.width = settings.width;
    plan.height = settings.height;

    ProgressMeter meter(ChooseProgressStyle(line.quiet, isatty(fileno(console.err))), console.err,
                        plan.endWritten - plan.firstWritten);
    PluginCaller caller(bundle->Entry(), session);
    const RenderOutcome outcome = RunRender(caller, *clip, session, *writer, plan, meter,
                                            [] { return InterruptGuard::Requested(); });
    meter.Finish();
    if (outcome.framesWritten > 0)
        writer->Finish(); // an interrupted video is closed properly and plays
    ReportOutcome(outcome, settings, *writer, meter, console);
    return outcome.interrupted ? kExitInterrupted : kExitOK;
}

int RunThumbnail(const CommandLine& line, const Console& console) {
    if (OutputKindOf(line.output) != OutputKind::SingleImage)
        throw UsageError("a thumbnail is one image: name the output NAME.png, not '" + line.output +
                         "'");
    RefuseOverwritingInput(line.input, line.output);
    auto clip = OpenClip(line.input);
    const ClipInfo& info = clip->Info();
    RequireFrameInClip(line.at, info);
    auto bundle = LoadBundle(line, console);
    HostSession session(*clip, line.settings);
    auto writer = OpenFrameWriter(OutputKind::SingleImage, OutputSettingsFor(line, info, false));
    GWorldHolder frame = MakeImage(info.width, info.height);

    PluginCaller caller(bundle->Entry(), session);
    _PluginParams& params = caller.Params();
    CoverWholeClip(params, info, frame.get());
    params.getInfo.bestThumbOffset = line.at;
    caller.Require(kPlugFilePlaceHolder, "the placeholder of frame " + std::to_string(line.at));
    writer->Write(ViewOf(frame.get()), nullptr);
    writer->Finish();
    if (!line.quiet)
        std::fprintf(console.out, "Wrote %s: the placeholder of frame %d, %d x %d\n",
                     line.output.c_str(), line.at, info.width, info.height);
    return kExitOK;
}

// The file the effect saves its configuration in, in the Preferences folder.
constexpr unsigned char kPreferencesFileName[] = "\x0b"
                                                 "vorel-Prefs";

// The effect's preferences file, found as the effect finds it; empty when there is no
// Preferences folder to hold it.
std::string PreferencesFilePath() {
    int16_t vRefNum;
    int32_t dirID;
    FSSpec file;
    char path[4096];
    if (FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &dirID) !=
        noErr)
        return {};
    const OSErr found = FSMakeFSSpec(vRefNum, dirID, kPreferencesFileName, &file);
    if ((found != noErr && found != fnfErr) || !FSpGetPath(&file, path, sizeof path)) return {};
    return path;
}

// A file's bytes; nothing when it is not a file that can be read.
std::optional<std::string> FileBytes(const std::string& path) {
    std::error_code error;
    std::ifstream file(path, std::ios::binary);
    if (!fs::is_regular_file(path, error) || !file) return std::nullopt;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// OK saves and Cancel leaves the file alone, but OK with nothing changed saves the same bytes
// again: the file tells a change from no change, not which button closed the window.
void ReportSavedConfiguration(const std::string& prefs, const std::optional<std::string>& before,
                              const Console& console) {
    const std::optional<std::string> after = FileBytes(prefs);
    if (!after)
        throw HostError("the effect could not save its configuration: '" + prefs +
                        "' was not written");
    std::fputs(after != before ? "Configuration saved: the next render uses it.\n"
                               : "Saved configuration unchanged: the window was cancelled, or "
                                 "accepted with nothing changed.\n",
               console.out);
}

// The window system for one configure command, ended on every way out of it.
class WindowSystem {
  public:
    WindowSystem() {
        if (!ToolboxStartGUI(&argc_, argv_))
            throw HostError("the configuration window needs a display: none was found (set "
                            "DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM)");
    }
    ~WindowSystem() { ToolboxEndGUI(); }
    WindowSystem(const WindowSystem&) = delete;
    WindowSystem& operator=(const WindowSystem&) = delete;

  private:
    char name_[9] = "reelhost";
    char* argv_[2] = {name_, nullptr};
    int argc_ = 1;
};

int RunConfigure(const CommandLine& line, const Console& console) {
    WindowSystem windows;
    const std::string prefs = PreferencesFilePath();
    if (prefs.empty())
        throw HostError("the effect has nowhere to save its configuration: the Preferences "
                        "folder ($XDG_CONFIG_HOME, or ~/.config when that is unset) does not "
                        "exist");
    auto clip = OpenClip(line.input);
    const ClipInfo& info = clip->Info();
    RequireFrameInClip(line.at, info);
    auto bundle = LoadBundle(line, console);
    HostSession session(*clip, line.settings);
    GWorldHolder frame = MakeImage(info.width, info.height);

    // One preview frame first, as the editor's preview does, so the effect knows the clip's
    // start and length when its window opens.
    PluginCaller caller(bundle->Entry(), session);
    _PluginParams& params = caller.Params();
    CoverWholeClip(params, info, frame.get());
    params.renderFrame = line.at;
    caller.Require(kPlugInitialize, "to begin the preview");
    const int32_t previewed = caller.Send(kPlugDoFrame);
    caller.Send(kPlugTerminate);
    if (previewed != kPluginOK)
        caller.Refused("the preview of frame " + std::to_string(line.at), previewed);

    const std::optional<std::string> before = FileBytes(prefs);
    caller.Require(kPlugCustomButtonClick, "to open the configuration window");
    ReportSavedConfiguration(prefs, before, console);
    return kExitOK;
}

int Dispatch(const CommandLine& line, const Console& console) {
    switch (line.command) {
    case Command::Help:
        std::fputs(UsageText().c_str(), console.out);
        return kExitOK;
    case Command::Info:
        return RunInfo(line, console);
    case Command::Render:
        return RunRenderCommand(line, console);
    case Command::Thumbnail:
        return RunThumbnail(line, console);
    case Command::Configure:
        return RunConfigure(line, console);
    }
    return kExitFailed;
}

} // namespace

int RunReelhost(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const Console console{out, err};
    av_log_set_level(AV_LOG_ERROR); // our own messages name the file; FFmpeg's chatter is noise
    try {
        return Dispatch(ParseCommandLine(args), console);
    } catch (const UsageError& error) {
        std::fprintf(err, "reelhost: %s\nTry 'reelhost --help' for more information.\n",
                     error.what());
        return kExitUsage;
    } catch (const HostError& error) {
        std::fprintf(err, "reelhost: %s\n", error.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(err, "reelhost: out of memory\n");
    } catch (const std::exception& error) {
        std::fprintf(err, "reelhost: unexpected failure: %s\n", error.what());
    }
    return kExitFailed;
}

} // namespace reelhost
