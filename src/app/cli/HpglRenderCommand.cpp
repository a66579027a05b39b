// grittor-cli render FILE -o OUT.png [--size WxH] [--multiplier M]: opens a
// plot as the application does (read, prescan, first rendering fitted into
// the image) and writes the image as a PNG.  Built into the front too, so
// nothing here may need the toolkit.
#include "app/cli/RenderCommand.h"

#include "app/cli/CliCommand.h"
#include "app/cli/HpglCliCommon.h"

#include "hpgl/CanvasSink.h"
#include "hpgl/IndexedRender.h"
#include "hpgl/PngWriter.h"
#include "hpgl/hpgl.h"

#include <cerrno>
#include <memory>
#include <new>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace grittor::cli {
namespace {

bool ParseSize(const std::string &text, int &w, int &h)
{
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos)
        return false;
    int a = 0, b = 0;
    if (!ParseInt(text.substr(0, x), a) || !ParseInt(text.substr(x + 1), b))
        return false;
    if (a < 1 || b < 1 || a > 16384 || b > 16384 || static_cast<long long>(a) * b > 64LL * 1024 * 1024)
        return false;
    w = a;
    h = b;
    return true;
}

} // namespace

int RunRender(const std::vector<std::string> &args, const std::function<TRenderLook()> &look)
{
    std::string path, out;
    int width = 1000, height = 700;
    long double multiplier = 1.0L;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size())
                return UsageError("render: -o needs a file name");
            out = args[++i];
        } else if (a == "--size") {
            if (i + 1 >= args.size() || !ParseSize(args[i + 1], width, height))
                return UsageError("render: --size needs WIDTHxHEIGHT in pixels, e.g. 1000x700");
            ++i;
        } else if (a == "--multiplier") {
            if (i + 1 >= args.size())
                return UsageError("--multiplier needs a value");
            std::string error;
            if (!ParseMultiplier(args[++i], multiplier, error))
                return UsageError(error);
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return UsageError("render: unknown option '" + a + "'");
        } else if (path.empty()) {
            path = a;
        } else {
            return UsageError("render: more than one file given");
        }
    }
    if (path.empty() || out.empty())
        return UsageError("render: usage: grittor-cli render FILE -o OUT.png [--size WxH]");
    auto plot = ReadPlotForCli(path, multiplier);
    if (!plot)
        return 2;
    // The plot in the colours the window shows it in (those of the material
    // selected in the user's library), lines as wide as the settings say.
    const TRenderLook shown = look();
    // A plot has a handful of colours: an 8-bit picture with a colour table
    // draws and compresses several times faster than 32-bit pixels.  Drawn
    // without Qt's GUI libraries, whose loading alone took a tenth of the
    // time of a small plot.
    std::unique_ptr<TIndexedImage> image;
    try {
        image = std::make_unique<TIndexedImage>(width, height);
    } catch (const std::bad_alloc &) {
        return UsageError("render: cannot make an image of " + std::to_string(width) + "x" + std::to_string(height));
    }
    // On both cores where the plot is big enough to pay for it.
    RenderPlotIndexed(*plot, *image, shown.Radius, shown.Colors, MessageToStderr);
    // The name is opened byte for byte as given: through a QString, a name
    // that is not valid in the locale's encoding would become another name.
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        std::fprintf(stderr, "grittor-cli: render: cannot write %s: %s\n", out.c_str(), std::strerror(errno));
        return 1;
    }
    // Written by the program's own encoder (see PngWriter.h for why).
    const std::string png = EncodeIndexedPng(*image);
    const char *why = png.empty() ? "the picture could not be encoded" : nullptr;
    size_t done = 0;
    while (!why && done < png.size()) {
        const ssize_t n = ::write(fd, png.data() + done, png.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            why = std::strerror(n < 0 ? errno : EIO);
        else
            done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 && !why)
        why = std::strerror(errno);
    if (why) {
        std::fprintf(stderr, "grittor-cli: render: cannot write %s: %s\n", out.c_str(), why);
        struct stat st {};
        if (::stat(out.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(out.c_str()); // no half-written picture left behind
        return 1;
    }
    return 0;
}

} // namespace grittor::cli
