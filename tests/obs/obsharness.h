// A real libobs driven headless, for the OBS module's tests and benchmark: an X server of its own
// (Xvfb), libobs on Mesa's OpenGL through EGL, modules loaded one by one as OBS loads them, test
// sources that draw a known picture, and renders read back to memory.
#pragma once

#include <obs.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace obsharness {

// The sRGB transfer function and its inverse, in double precision: from a stored value to the
// light it stands for, and back, both 0..1.
double SrgbDecode(double value);
double SrgbEncode(double light);

// An RGBA picture, rows packed, with straight (not premultiplied) alpha.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

// Random colours; alpha 255 everywhere when opaque, otherwise random with fully transparent and
// fully opaque pixels among them.
Picture RandomPicture(int width, int height, uint32_t seed, bool opaque);

// How a test source hands OBS its picture, after the sources OBS ships.
enum class SourceKind {
    // Like the image source: drawn through the effect OBS passes, decoded from sRGB, with its
    // colours premultiplied by alpha in linear light (the image source's "linear alpha").
    ImageLike,
    // Like the screen capture: draws itself (custom draw) through OBS's opaque effect.
    CaptureLike,
    // Like the text source, which draws glyphs from an atlas: drawn as the image-like source is,
    // but in two pieces from a texture that holds them the other way round, so its texture
    // coordinates are not the picture's.
    InPieces,
    // An SDR source kept in floating point, as OBS keeps some in an HDR canvas: reports sRGB in
    // 16-bit float and holds its picture in linear light.
    SdrFloat,
    // An HDR source: reports the extended linear colour space.
    Hdr,
};

// Xvfb on a free display number, ended with this object. The display is ready when the
// constructor returns: Xvfb writes its number once it accepts clients.
class XServer {
  public:
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    const std::string& Display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

// libobs started on its own X server with the OpenGL renderer and no modules; the test sources
// registered. One per process: libobs is process-wide. Throws std::runtime_error with the reason
// when any step fails.
class Obs {
  public:
    explicit Obs(const std::string& shaderCacheDir);
    ~Obs();
    Obs(const Obs&) = delete;
    Obs& operator=(const Obs&) = delete;

    // Opens and initialises one module, as OBS does for each it finds.
    void LoadModule(const std::string& binary, const std::string& dataDir);

    // Loads the module `name` installed under `prefix` where this libobs's own search looks for
    // system modules under its prefix `libobsPrefix`: the folders where that search finds the
    // modules OBS ships, taken to `prefix` as OBS's OBS_PLUGINS_PATH and OBS_PLUGINS_DATA_PATH
    // take them. Throws when OBS's own modules or this one are not where that search looks.
    void LoadInstalledModule(const std::string& name, const std::string& prefix,
                             const std::string& libobsPrefix);

    // Returns after the graphics thread has ticked `ticks` more times: sources and filters
    // created or updated before the call have taken their settings by then.
    void WaitTicks(int ticks);

    // The lines libobs logged at warning level or worse since the last call.
    std::vector<std::string> TakeWarnings();

  private:
    static void OnTick(void* self, float seconds);
    XServer xserver_;
    void* display_ = nullptr;
    std::mutex tickLock_;
    std::condition_variable ticked_;
    uint64_t ticks_ = 0;
};

// A new test source showing `picture`; the caller releases it.
obs_source_t* CreatePictureSource(SourceKind kind, const Picture& picture, const char* name);

// Renders sources of one size into a texture of its own and reads each render back, as packed
// RGBA rows: the read waits until the renderer has finished drawing.
class Renderer {
  public:
    Renderer(int width, int height);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // What OBS draws for `source`, at the renderer's size. Throws when it cannot be read back.
    void Render(obs_source_t* source, std::vector<uint8_t>& pixels);

  private:
    int width_, height_;
    gs_texrender_t* target_ = nullptr;
    gs_stagesurf_t* stage_ = nullptr;
};

// What OBS draws for `source` at its own size, read back as packed RGBA rows.
std::vector<uint8_t> Render(obs_source_t* source, int width, int height);

} // namespace obsharness
