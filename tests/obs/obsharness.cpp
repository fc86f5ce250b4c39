// The headless libobs of the OBS module's tests and benchmark: Xvfb, libobs on EGL, the test
// sources, and renders read back to memory.
#include "obsharness.h"

#include <obs-module.h>
#include <obs-nix-platform.h>

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <utility>

namespace obsharness {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSourceIds[] = {"harness_image_like", "harness_capture_like",
                                      "harness_in_pieces", "harness_sdr_float", "harness_hdr"};
constexpr SourceKind kSourceKinds[] = {SourceKind::ImageLike, SourceKind::CaptureLike,
                                       SourceKind::InPieces, SourceKind::SdrFloat, SourceKind::Hdr};
constexpr uint32_t kCanvasSide = 64; // the canvas is never looked at: renders go to textures
constexpr uint32_t kTicksPerSecond = 60;

// The picture's bytes as the image source keeps an image with "linear alpha": each colour
// multiplied by alpha in linear light, then encoded again.
std::vector<uint8_t> PremultipliedInLinearLight(const Picture& picture) {
    std::vector<uint8_t> bytes = picture.rgba;
    for (size_t i = 0; i < bytes.size(); i += 4) {
        const double alpha = bytes[i + 3] / 255.0;
        for (size_t c = 0; c < 3; ++c) {
            const double linear = SrgbDecode(bytes[i + c] / 255.0) * alpha;
            bytes[i + c] = uint8_t(std::lround(SrgbEncode(linear) * 255.0));
        }
    }
    return bytes;
}

// The picture's first LeftPieceWidth columns, then the rest.
int LeftPieceWidth(const Picture& picture) {
    return picture.width / 2;
}

// The texture of a source drawn in pieces: the right piece first, then the left one.
std::vector<uint8_t> PiecesSwapped(const Picture& picture, const std::vector<uint8_t>& bytes) {
    const size_t rowBytes = size_t(picture.width) * 4;
    const size_t leftBytes = size_t(LeftPieceWidth(picture)) * 4;
    std::vector<uint8_t> swapped(bytes.size());
    for (size_t row = 0; row < size_t(picture.height); ++row) {
        const uint8_t* from = bytes.data() + row * rowBytes;
        uint8_t* to = swapped.data() + row * rowBytes;
        std::memcpy(to, from + leftBytes, rowBytes - leftBytes);
        std::memcpy(to + rowBytes - leftBytes, from, leftBytes);
    }
    return swapped;
}

// The picture in linear light as 32-bit floats, colours premultiplied by alpha.
std::vector<float> LinearLight(const Picture& picture) {
    std::vector<float> values(picture.rgba.size());
    for (size_t i = 0; i < values.size(); i += 4) {
        const double alpha = picture.rgba[i + 3] / 255.0;
        for (size_t c = 0; c < 3; ++c)
            values[i + c] = float(SrgbDecode(picture.rgba[i + c] / 255.0) * alpha);
        values[i + 3] = float(alpha);
    }
    return values;
}

struct PictureSource {
    SourceKind kind;
    Picture picture;
    gs_texture_t* texture = nullptr;
};

// obs_source_create has no way to hand a source binary data: the picture of the source being
// created waits here.
const Picture* gPictureForNextSource = nullptr;
SourceKind gKindForNextSource = SourceKind::ImageLike;

void* CreateSource(obs_data_t*, obs_source_t*) {
    auto* source = new PictureSource{gKindForNextSource, *gPictureForNextSource};
    const Picture& picture = source->picture;
    std::vector<uint8_t> bytes = picture.rgba;
    if (source->kind == SourceKind::ImageLike || source->kind == SourceKind::InPieces)
        bytes = PremultipliedInLinearLight(picture);
    if (source->kind == SourceKind::InPieces) bytes = PiecesSwapped(picture, bytes);
    const std::vector<float> linear =
        source->kind == SourceKind::SdrFloat ? LinearLight(picture) : std::vector<float>{};
    const uint8_t* rows[] = {linear.empty() ? bytes.data()
                                            : reinterpret_cast<const uint8_t*>(linear.data())};
    obs_enter_graphics();
    source->texture = gs_texture_create(uint32_t(picture.width), uint32_t(picture.height),
                                        linear.empty() ? GS_RGBA : GS_RGBA32F, 1, rows, 0);
    obs_leave_graphics();
    return source;
}

void DestroySource(void* data) {
    auto* source = static_cast<PictureSource*>(data);
    obs_enter_graphics();
    gs_texture_destroy(source->texture);
    obs_leave_graphics();
    delete source;
}

uint32_t SourceWidth(void* data) {
    return uint32_t(static_cast<PictureSource*>(data)->picture.width);
}
uint32_t SourceHeight(void* data) {
    return uint32_t(static_cast<PictureSource*>(data)->picture.height);
}

// The columns [textureX, textureX + width) of a texture, drawn at column pictureX.
void DrawPiece(gs_texture_t* texture, int textureX, int pictureX, int width, int height) {
    if (width <= 0) return;
    gs_matrix_push();
    gs_matrix_translate3f(float(pictureX), 0.0f, 0.0f);
    gs_draw_sprite_subregion(texture, 0, uint32_t(textureX), 0, uint32_t(width), uint32_t(height));
    gs_matrix_pop();
}

// As the image source draws: premultiplied colours decoded from sRGB (or already linear, in
// floating point), blended as such, in linear light; in pieces for the source whose texture holds
// its picture the other way round.
void RenderImageLike(void* data, gs_effect_t* effect) {
    auto* source = static_cast<PictureSource*>(data);
    const int width = source->picture.width, height = source->picture.height;
    const bool previous = gs_framebuffer_srgb_enabled();
    gs_enable_framebuffer_srgb(true);
    gs_blend_state_push();
    gs_blend_function(GS_BLEND_ONE, GS_BLEND_INVSRCALPHA);
    gs_effect_set_texture_srgb(gs_effect_get_param_by_name(effect, "image"), source->texture);
    if (source->kind == SourceKind::InPieces) {
        const int left = LeftPieceWidth(source->picture);
        DrawPiece(source->texture, width - left, 0, left, height);
        DrawPiece(source->texture, 0, left, width - left, height);
    } else {
        gs_draw_sprite(source->texture, 0, uint32_t(width), uint32_t(height));
    }
    gs_blend_state_pop();
    gs_enable_framebuffer_srgb(previous);
}

// As the screen capture draws: its own opaque effect, in linear light when OBS asks for it.
void RenderCaptureLike(void* data, gs_effect_t*) {
    auto* source = static_cast<PictureSource*>(data);
    gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_OPAQUE);
    const bool linear = gs_get_linear_srgb();
    const bool previous = gs_framebuffer_srgb_enabled();
    gs_enable_framebuffer_srgb(linear);
    gs_eparam_t* image = gs_effect_get_param_by_name(effect, "image");
    if (linear)
        gs_effect_set_texture_srgb(image, source->texture);
    else
        gs_effect_set_texture(image, source->texture);
    while (gs_effect_loop(effect, "Draw"))
        gs_draw_sprite(source->texture, 0, 0, 0);
    gs_enable_framebuffer_srgb(previous);
}

gs_color_space SdrFloatSpace(void*, size_t, const gs_color_space*) {
    return GS_CS_SRGB_16F;
}

gs_color_space HdrSpace(void*, size_t, const gs_color_space*) {
    return GS_CS_709_EXTENDED;
}

const char* SourceName(void*) {
    return "harness picture";
}

void RegisterSource(SourceKind kind) {
    obs_source_info info = {};
    info.id = kSourceIds[int(kind)];
    info.type = OBS_SOURCE_TYPE_INPUT;
    const bool drawnByOBSEffect = kind == SourceKind::ImageLike || kind == SourceKind::InPieces ||
                                  kind == SourceKind::SdrFloat;
    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_SRGB;
    if (!drawnByOBSEffect) info.output_flags |= OBS_SOURCE_CUSTOM_DRAW;
    info.get_name = SourceName;
    info.create = CreateSource;
    info.destroy = DestroySource;
    info.get_width = SourceWidth;
    info.get_height = SourceHeight;
    info.video_render = drawnByOBSEffect ? RenderImageLike : RenderCaptureLike;
    if (kind == SourceKind::SdrFloat) info.video_get_color_space = SdrFloatSpace;
    if (kind == SourceKind::Hdr) info.video_get_color_space = HdrSpace;
    obs_register_source(&info);
}

// libobs's log: warnings and errors kept for the tests and shown on standard error; the rest
// only with OBSHARNESS_VERBOSE set.
std::mutex gLogLock;
std::vector<std::string> gWarnings;

void LogHandler(int level, const char* format, va_list args, void*) {
    char line[4096];
    std::vsnprintf(line, sizeof line, format, args);
    if (level <= LOG_WARNING) {
        std::lock_guard<std::mutex> guard(gLogLock);
        gWarnings.emplace_back(line);
    }
    if (level <= LOG_WARNING || std::getenv("OBSHARNESS_VERBOSE"))
        std::fprintf(stderr, "libobs: %s\n", line);
}

} // namespace

double SrgbDecode(double value) {
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double SrgbEncode(double light) {
    return light <= 0.0031308 ? 12.92 * light : 1.055 * std::pow(light, 1.0 / 2.4) - 0.055;
}

Picture RandomPicture(int width, int height, uint32_t seed, bool opaque) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    Picture picture{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
    for (size_t i = 0; i < picture.rgba.size(); ++i)
        picture.rgba[i] = i % 4 == 3 && opaque ? 255 : uint8_t(byte(rng));
    if (!opaque && picture.rgba.size() >= 8) {
        picture.rgba[3] = 0; // the first pixel fully transparent, the second fully opaque
        picture.rgba[7] = 255;
    }
    return picture;
}

XServer::XServer() {
    int ready[2];
    if (pipe(ready) != 0) throw std::runtime_error("no pipe for Xvfb");
    pid_ = fork();
    if (pid_ == 0) {
        close(ready[0]);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        const std::string fd = std::to_string(ready[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "320x240x24", "-nolisten",
               "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    // Xvfb writes its display number and a newline once it accepts clients.
    std::string number;
    char c;
    while (read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(ready[0]);
    if (pid_ < 0 || number.empty()) {
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
        throw std::runtime_error(
            "Xvfb did not start (package xvfb; `Xvfb -displayfd 1` shows why)");
    }
    display_ = ":" + number;
}

XServer::~XServer() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

Obs::Obs(const std::string& shaderCacheDir) {
    // Mesa keeps its shader cache under XDG_CACHE_HOME: in the build, not the user's home.
    setenv("XDG_CACHE_HOME", shaderCacheDir.c_str(), 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("DISPLAY", xserver_.Display().c_str(), 1);
    base_set_log_handler(LogHandler, nullptr);
    // libobs's threads use the display too: Xlib must know before its first call.
    XInitThreads();
    display_ = XOpenDisplay(xserver_.Display().c_str());
    if (!display_) throw std::runtime_error("cannot open display " + xserver_.Display());
    // libobs 29 aborts on GLX: X11 with EGL.
    obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
    obs_set_nix_platform_display(display_);
    if (!obs_startup("en-US", nullptr, nullptr)) throw std::runtime_error("obs_startup failed");

    obs_video_info video = {};
    video.graphics_module = "libobs-opengl";
    video.fps_num = kTicksPerSecond;
    video.fps_den = 1;
    video.base_width = video.output_width = kCanvasSide;
    video.base_height = video.output_height = kCanvasSide;
    video.output_format = VIDEO_FORMAT_RGBA;
    video.colorspace = VIDEO_CS_SRGB;
    video.range = VIDEO_RANGE_FULL;
    video.scale_type = OBS_SCALE_POINT;
    const int reset = obs_reset_video(&video);
    if (reset != OBS_VIDEO_SUCCESS)
        throw std::runtime_error("obs_reset_video failed: " + std::to_string(reset));

    for (SourceKind kind : kSourceKinds)
        RegisterSource(kind);
    obs_add_tick_callback(OnTick, this);
}

Obs::~Obs() {
    obs_remove_tick_callback(OnTick, this);
    obs_shutdown();
    XCloseDisplay(static_cast<::Display*>(display_));
    base_set_log_handler(nullptr, nullptr);
}

void Obs::LoadModule(const std::string& binary, const std::string& dataDir) {
    obs_module_t* module = nullptr;
    const int opened = obs_open_module(&module, binary.c_str(), dataDir.c_str());
    if (opened != MODULE_SUCCESS)
        throw std::runtime_error("obs_open_module(" + binary +
                                 ") failed: " + std::to_string(opened));
    if (!obs_init_module(module))
        throw std::runtime_error("obs_init_module(" + binary + ") failed");
}

namespace {

struct FoundModule {
    std::string binary; // the module's file
    std::string data;   // its data folder
};

// Every module libobs's search paths hold, as its search reports them, paths made plain.
std::vector<std::pair<std::string, FoundModule>> ModulesLibobsFinds() {
    std::vector<std::pair<std::string, FoundModule>> found;
    obs_find_modules2(
        [](void* list, const obs_module_info2* info) {
            static_cast<std::vector<std::pair<std::string, FoundModule>>*>(list)->push_back(
                {info->name,
                 {fs::path(info->bin_path).lexically_normal().string(),
                  fs::path(info->data_path).lexically_normal().string()}});
        },
        &found);
    return found;
}

} // namespace

void Obs::LoadInstalledModule(const std::string& name, const std::string& prefix,
                              const std::string& libobsPrefix) {
    // The folders of the system modules, relative to libobs's prefix.
    const fs::path system = fs::path(libobsPrefix).lexically_normal();
    fs::path binaries, data;
    for (const auto& [moduleName, module] : ModulesLibobsFinds()) {
        const fs::path binary = fs::path(module.binary).lexically_relative(system);
        if (binary.empty() || *binary.begin() == "..") continue;
        binaries = binary.parent_path();
        data = fs::path(module.data).lexically_relative(system).parent_path();
        break;
    }
    if (binaries.empty())
        throw std::runtime_error("libobs's search finds none of OBS's own modules under " +
                                 system.string() + " (package obs-studio)");

    const fs::path root = fs::absolute(prefix).lexically_normal();
    obs_add_module_path((root / binaries).c_str(), (root / data / "%module%").c_str());
    for (const auto& [moduleName, module] : ModulesLibobsFinds()) {
        if (moduleName != name || fs::path(module.binary).parent_path() != root / binaries)
            continue;
        if (!fs::is_directory(module.data))
            throw std::runtime_error("the data folder libobs looks for is missing: " + module.data);
        LoadModule(module.binary, module.data);
        return;
    }
    throw std::runtime_error(name + " is not in " + (root / binaries).string() +
                             ", where libobs looks under " + root.string());
}

void Obs::OnTick(void* self, float) {
    Obs& obs = *static_cast<Obs*>(self);
    {
        std::lock_guard<std::mutex> guard(obs.tickLock_);
        ++obs.ticks_;
    }
    obs.ticked_.notify_all();
}

void Obs::WaitTicks(int ticks) {
    std::unique_lock<std::mutex> lock(tickLock_);
    const uint64_t until = ticks_ + uint64_t(ticks);
    ticked_.wait(lock, [&] { return ticks_ >= until; });
}

std::vector<std::string> Obs::TakeWarnings() {
    std::lock_guard<std::mutex> guard(gLogLock);
    return std::exchange(gWarnings, {});
}

obs_source_t* CreatePictureSource(SourceKind kind, const Picture& picture, const char* name) {
    gPictureForNextSource = &picture;
    gKindForNextSource = kind;
    obs_source_t* source = obs_source_create_private(kSourceIds[int(kind)], name, nullptr);
    gPictureForNextSource = nullptr;
    return source;
}

Renderer::Renderer(int width, int height) : width_(width), height_(height) {
    obs_enter_graphics();
    target_ = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
    stage_ = gs_stagesurface_create(uint32_t(width), uint32_t(height), GS_RGBA);
    obs_leave_graphics();
}

Renderer::~Renderer() {
    obs_enter_graphics();
    gs_stagesurface_destroy(stage_);
    gs_texrender_destroy(target_);
    obs_leave_graphics();
}

void Renderer::Render(obs_source_t* source, std::vector<uint8_t>& pixels) {
    const size_t packed = size_t(width_) * 4;
    pixels.resize(packed * size_t(height_));
    bool read = false;
    obs_enter_graphics();
    gs_texrender_reset(target_);
    if (stage_ && gs_texrender_begin(target_, uint32_t(width_), uint32_t(height_))) {
        vec4 clear;
        vec4_zero(&clear);
        gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
        gs_ortho(0.0f, float(width_), 0.0f, float(height_), -100.0f, 100.0f);
        gs_blend_state_push();
        gs_blend_function(GS_BLEND_ONE, GS_BLEND_ZERO);
        obs_source_video_render(source);
        gs_blend_state_pop();
        gs_texrender_end(target_);

        gs_stage_texture(stage_, gs_texrender_get_texture(target_));
        uint8_t* data = nullptr;
        uint32_t rowBytes = 0;
        read = gs_stagesurface_map(stage_, &data, &rowBytes);
        if (read) {
            for (size_t y = 0; y < size_t(height_); ++y)
                std::memcpy(pixels.data() + y * packed, data + y * rowBytes, packed);
            gs_stagesurface_unmap(stage_);
        }
    }
    obs_leave_graphics();
    if (!read)
        throw std::runtime_error("cannot render or read back a " + std::to_string(width_) + "x" +
                                 std::to_string(height_) + " picture");
}

std::vector<uint8_t> Render(obs_source_t* source, int width, int height) {
    std::vector<uint8_t> pixels;
    Renderer(width, height).Render(source, pixels);
    return pixels;
}

} // namespace obsharness
