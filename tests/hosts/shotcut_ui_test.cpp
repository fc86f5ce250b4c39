// Shotcut 22.12 itself under Xvfb, run from a copy of its program beside a copy of its own files
// with our installed filter folder added: it lists the filter, opens a project holding it with no
// QML error from our files, shows the region on its player, and a drag on the rectangle's corner
// handle there moves that corner of the region and nothing else. The panel sets no `threads`.
#include "editorprojects.h"
#include "hostruns.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace frei0rtest;
using namespace hosttest;
using namespace editortest;

namespace {

constexpr int kScreenWidth = 1600, kScreenHeight = 900;
constexpr int kClipWidth = 640, kClipHeight = 360;
constexpr int kBoundSeconds = 90; // for each thing awaited; Shotcut starts in about 10 s here

// A child process, killed with SIGKILL when it goes (Shotcut ignores SIGTERM).
class Child {
  public:
    Child(const std::vector<std::string>& argv, const std::string& log, int keepFd = -1) {
        pid_ = fork();
        if (pid_ != 0) return;
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        for (int fd = 3; fd < 256; ++fd)
            if (fd != keepFd) close(fd);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    ~Child() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

  private:
    pid_t pid_ = -1;
};

// Polls `done` until it holds or the bound runs out.
bool WaitFor(const std::function<bool()>& done, int seconds = kBoundSeconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return done();
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// An Xvfb screen of its own, on a display number unlikely to be taken (other test runs on this
// machine start their own servers from 0 up); the server says the number once it listens.
class Screen {
  public:
    explicit Screen(const Workdir& dir) {
        for (int n = 100 + getpid() % 800, tries = 0; display_.empty() && tries < 20; ++n, ++tries)
            Start(dir, n);
    }
    const std::string& Display() const { return display_; }

    bool Xdo(const std::string& args) const {
        return std::system(
                   ("DISPLAY=" + display_ + " xdotool " + args + " >/dev/null 2>&1").c_str()) == 0;
    }

    // The whole screen as R, G, B bytes.
    std::vector<uint8_t> Shot(const Workdir& dir) const {
        const std::string file = dir / "screen.rgb";
        std::system((std::string(kFfmpeg) + " -f x11grab -video_size " +
                     hosttest::Size(kScreenWidth, kScreenHeight) + " -i " + display_ +
                     " -frames:v 1 -f rawvideo -pix_fmt rgb24 '" + file + "' >/dev/null 2>&1")
                        .c_str());
        return ReadFile(file);
    }

  private:
    void Start(const Workdir& dir, int number) {
        int fds[2];
        if (pipe(fds) != 0) return;
        server_ = std::make_unique<Child>(
            std::vector<std::string>{"Xvfb", ":" + std::to_string(number), "-displayfd",
                                     std::to_string(fds[1]), "-screen", "0",
                                     std::to_string(kScreenWidth) + "x" +
                                         std::to_string(kScreenHeight) + "x24",
                                     "-nolisten", "tcp"},
            dir / "xvfb.log", fds[1]);
        close(fds[1]);
        // The number and then a newline, each written on its own: reading stops at the newline,
        // since the server dies if the pipe closes in between. Nothing comes when that display
        // was taken and the server gave up.
        std::string text;
        pollfd ready{fds[0], POLLIN, 0};
        char c = 0;
        while (c != '\n' && poll(&ready, 1, kBoundSeconds * 1000) == 1 && read(fds[0], &c, 1) == 1)
            text += c;
        if (!text.empty() && text.back() == '\n')
            display_ = ":" + std::to_string(std::atoi(text.c_str()));
        close(fds[0]);
    }

    std::unique_ptr<Child> server_;
    std::string display_;
};

struct Box {
    int left = kScreenWidth, top = kScreenHeight, right = -1, bottom = -1; // right, bottom past it
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// Where the screen shows a colour (within a tolerance for the player's YUV display): the box
// around every such pixel.
Box FindColour(const std::vector<uint8_t>& rgb, const uint8_t (&colour)[3]) {
    Box box;
    for (int y = 0; y < kScreenHeight && !rgb.empty(); ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            const uint8_t* p = rgb.data() + (size_t(y) * kScreenWidth + x) * 3;
            bool near = true;
            for (int c = 0; c < 3; ++c)
                near = near && std::abs(int(p[c]) - int(colour[c])) <= 12;
            if (!near) continue;
            box.left = std::min(box.left, x);
            box.top = std::min(box.top, y);
            box.right = std::max(box.right, x + 1);
            box.bottom = std::max(box.bottom, y + 1);
        }
    }
    return box;
}

// The saved project's filter element.
std::string FilterOf(const std::string& project) {
    const size_t start = project.find("<filter");
    const size_t end = project.find("</filter>", start);
    return start == std::string::npos || end == std::string::npos
               ? std::string()
               : project.substr(start, end - start);
}

// A saved property's keyframes: (clock time, value), or one value with no time.
std::vector<std::pair<std::string, double>> KeysOf(const std::string& filter,
                                                   const std::string& name) {
    std::smatch match;
    const std::regex property("<property name=\"" + name + "\">([^<]*)</property>");
    std::vector<std::pair<std::string, double>> keys;
    if (!std::regex_search(filter, match, property)) return keys;
    std::istringstream items(match[1].str());
    for (std::string item; std::getline(items, item, ';');) {
        const size_t equals = item.find('=');
        if (equals == std::string::npos)
            keys.emplace_back("", std::stod(item));
        else // "00:00:00.400=0.25", "|=" for a held key, "~=" for a smooth one
            keys.emplace_back(item.substr(0, item.find_first_of("|~=")),
                              std::stod(item.substr(equals + 1)));
    }
    return keys;
}

std::vector<std::string> TimesOf(const std::vector<std::pair<std::string, double>>& keys) {
    std::vector<std::string> times;
    for (const auto& key : keys)
        times.push_back(key.first);
    return times;
}

int Pixel(double fraction, int span) {
    return int(std::trunc(fraction * span));
}

struct DragCase {
    const char* name;
    Animated animated; // the region is 128 to 384 across, 90 to 288 down at every frame
    int playheadSteps; // frames the playhead moves on before the drag
};

void PrintTo(const DragCase& c, std::ostream* os) {
    *os << c.name;
}

class ShotcutItself : public testing::TestWithParam<DragCase> {};

TEST_P(ShotcutItself, ListsTheFilterAndItsCornerHandleDragsTheRegionsCornerAsOneGang) {
    const DragCase& c = GetParam();
    Workdir dir;
    // Shotcut reads the filter folders beside its program: a copy of both, with ours added.
    ASSERT_TRUE(RunHost(
        dir, "sh -c \"mkdir -p '" + (dir / "app/bin") + "' '" + (dir / "app/share") + "' '" +
                 (dir / "home") + "' && cp /usr/bin/shotcut '" + (dir / "app/bin") +
                 "/' && cp -r /usr/share/shotcut '" + (dir / "app/share") +
                 "/' && cp -r '" LUMASHIFT_TEST_PREFIX "/share/shotcut/qml/filters/glimmerdusk' '" +
                 (dir / "app/share/shotcut/qml/filters") + "/'\""));
    // A dark blue clip; the region lightened by offset 0.7 (+102 on each channel) shows as the
    // only such colour on the screen.
    const uint8_t lightened[3] = {142, 142, 255};
    ASSERT_TRUE(RunHost(dir, std::string(kFfmpeg) + " -f lavfi -i color=c=0x2828a0:size=" +
                                 hosttest::Size(kClipWidth, kClipHeight) +
                                 ":rate=25:duration=4 -c:v ffv1 '" + (dir / "clip.mkv") + "'"));
    std::ofstream(dir / "project.mlt")
        << ShotcutProject(dir / "clip.mkv", kClipWidth, kClipHeight, 100, c.animated);

    Screen screen(dir);
    ASSERT_FALSE(screen.Display().empty()) << ReadText(dir / "xvfb.log");
    const std::string home = dir / "home";
    const std::string log = dir / "shotcut.log";
    Child shotcut({"env", "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                   "XDG_DATA_HOME=" + home + "/.local/share", "XDG_CACHE_HOME=" + home + "/.cache",
                   "DISPLAY=" + screen.Display(), "QT_QPA_PLATFORM=xcb",
                   "FREI0R_PATH=" LUMASHIFT_TEST_PREFIX "/lib/frei0r-1", dir / "app/bin/shotcut",
                   dir / "project.mlt"},
                  log);
    ASSERT_TRUE(WaitFor([&] { return screen.Xdo("search --name 'project.mlt - Shotcut'"); }))
        << "on display " << screen.Display() << ":\n"
        << ReadText(dir / "xvfb.log") << ReadText(log);
    EXPECT_NE(ReadText(log).find("added filter \"Glimmerdusk\""), std::string::npos);

    // The project open and rendered: the region shows on the player.
    Box shown;
    ASSERT_TRUE(WaitFor([&] {
        shown = FindColour(screen.Shot(dir), lightened);
        return shown.Width() > 20 && shown.Height() > 20;
    })) << "the player never showed the region";
    // The player shows the whole frame scaled: the region keeps its proportions, 256 by 198.
    const double scale = shown.Width() / 256.0;
    EXPECT_NEAR(shown.Height() / scale, 198.0, 3.0);

    // The Filters panel brought up (its shortcut hides the tab, then shows it in front), then the
    // clip under the playhead selected: its one filter becomes current and the player loads the
    // rectangle, which says so on the status bar.
    screen.Xdo("key ctrl+6");
    screen.Xdo("key ctrl+6");
    screen.Xdo("key ctrl+space");
    ASSERT_TRUE(WaitFor([&] { return ReadText(log).find("Drag a corner") != std::string::npos; }))
        << ReadText(log);

    // The playhead moved on from a click on the picture beside the region, then the top-left
    // handle, just inside the region's corner, dragged 30 pixels right and down, and the project
    // saved.
    if (c.playheadSteps > 0) {
        screen.Xdo("mousemove " + std::to_string(shown.right + 10) + " " +
                   std::to_string(shown.top + 10) + " click 1");
        for (int step = 0; step < c.playheadSteps; ++step)
            screen.Xdo("key Right");
    }
    constexpr int kDrag = 30;
    const int x = shown.left + 3, y = shown.top + 3;
    const auto drag = [&] {
        screen.Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " mousedown 1");
        for (int step = 2; step <= kDrag; step += 2)
            screen.Xdo("mousemove " + std::to_string(x + step) + " " + std::to_string(y + step));
        screen.Xdo("mouseup 1");
    };
    // The player shows the moved corner once the drag reached the rectangle. A loaded machine
    // may deliver the first drag before the rectangle takes the mouse: then it is dragged again.
    const auto moved = [&] {
        const Box now = FindColour(screen.Shot(dir), lightened);
        return now.left > shown.left && now.top > shown.top;
    };
    constexpr int kDragTries = 3, kDragWaitSeconds = 10;
    bool dragged = false;
    for (int attempt = 0; attempt < kDragTries && !dragged; ++attempt) {
        drag();
        dragged = WaitFor(moved, kDragWaitSeconds);
    }
    ASSERT_TRUE(dragged) << "the corner never moved on the player";
    screen.Xdo("key ctrl+s");
    ASSERT_TRUE(WaitFor([&] { return ReadText(log).find("Saved ") != std::string::npos; }))
        << ReadText(log);

    const std::string filter = FilterOf(ReadText(dir / "project.mlt"));
    const auto left = KeysOf(filter, "Left"), top = KeysOf(filter, "Top");
    const auto right = KeysOf(filter, "Right"), bottom = KeysOf(filter, "Bottom");
    // Keyframed, the four edges got one more keyframe each, all four at the same time between
    // the two there were; unkeyframed, they stay single values.
    const bool keyed = c.animated.left.size() > 1;
    ASSERT_EQ(left.size(), keyed ? 3u : 1u) << filter;
    for (const auto* edge : {&top, &right, &bottom})
        ASSERT_EQ(TimesOf(*edge), TimesOf(left)) << filter;
    const size_t at = keyed ? 1 : 0; // the dragged keyframe
    if (keyed) {
        EXPECT_LT(left[0].first, left[1].first);
        EXPECT_LT(left[1].first, left[2].first);
        EXPECT_EQ(Pixel(left[2].second, kClipWidth), 128);
        EXPECT_EQ(Pixel(top[2].second, kClipHeight), 90);
    }
    // The corner moved right and down, by at most the drag (less the distance Qt waits for
    // before a drag starts); the opposite corner stayed on its pixels.
    const int most = int(kDrag / scale) + 1;
    EXPECT_GT(Pixel(left[at].second, kClipWidth), 128);
    EXPECT_LE(Pixel(left[at].second, kClipWidth), 128 + most);
    EXPECT_GT(Pixel(top[at].second, kClipHeight), 90);
    EXPECT_LE(Pixel(top[at].second, kClipHeight), 90 + most);
    EXPECT_EQ(Pixel(right[at].second, kClipWidth), 384);
    EXPECT_EQ(Pixel(bottom[at].second, kClipHeight), 288);
    EXPECT_EQ(KeysOf(filter, "Gain").size(), 1u);
    EXPECT_EQ(KeysOf(filter, "Offset").size(), 1u);
    EXPECT_EQ(filter.find("threads"), std::string::npos) << filter;

    // QML reports an error with the file's address; none may come from our folder.
    std::istringstream lines(ReadText(log));
    for (std::string line; std::getline(lines, line);)
        EXPECT_EQ(line.find("filters/glimmerdusk/"), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Drag, ShotcutItself,
    testing::Values(
        DragCase{"Unkeyframed",
                 {{{0, 0.2}}, {{0, 0.25}}, {{0, 0.6}}, {{0, 0.8}}, {{0, 0.5}}, {{0, 0.7}}},
                 0},
        // The same region keyframed at frames 0 and 20; dragged at frame 10.
        DragCase{"RegionKeyframed",
                 {{{0, 0.2}, {20, 0.2}},
                  {{0, 0.25}, {20, 0.25}},
                  {{0, 0.6}, {20, 0.6}},
                  {{0, 0.8}, {20, 0.8}},
                  {{0, 0.5}},
                  {{0, 0.7}}},
                 10}),
    [](const testing::TestParamInfo<DragCase>& info) { return std::string(info.param.name); });

} // namespace
