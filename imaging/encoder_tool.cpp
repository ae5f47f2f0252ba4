#include "encoder_tool.h"

#include "bmp_source.h"
#include "encoders.h"
#include "file_io.h"
#include "png_source.h"

namespace pavoline {
namespace {

constexpr const char* kUsage = "AB2 Encoder v0.10 (no blue prevent)\nUsage:\n\tkelpa (-abm) [input filename .PNG or "
                               ".BMP (.PBM)] [output AB2 raw file]\n";

enum ExitCode { kSuccess = 0, kFailed = 1, kBmpFailed = 2, kPngUnreadable = 7 };

std::optional<Canvas> ReadPngPicture(const std::string& path, std::ostream& out, std::ostream& err, int& exitCode) {
    PngSource png = ReadPngSource(path);
    switch (png.status) {
    case PngSource::Status::Decoded:
        return std::move(png.picture);
    case PngSource::Status::SizeOutOfRange:
        out << Format("[ABM enc] over %d pixels a side: %s\n", kMaxSourceSide, path.c_str());
        exitCode = kFailed;
        return std::nullopt;
    case PngSource::Status::CannotOpen:
    case PngSource::Status::Broken:
        break;
    }
    err << "kelpa: cannot read the PNG file " << path << ": " << png.reason << "\n";
    exitCode = kPngUnreadable;
    return std::nullopt;
}

// Encoding fails only on a palette too big for the format; the message names the limit passed.
std::string OverColourLimitMessage(size_t limit, const char* kind, const std::string& path) {
    return Format("[ABM enc] over %zu %scolours: %s\n", limit, kind, path.c_str());
}

} // namespace

int RunKelpa(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const bool abm = !args.empty() && EqualsIgnoreCase(args[0], "-abm");
    const size_t first = abm ? 1 : 0;
    if (args.size() < first + 2) {
        out << kUsage;
        return kFailed;
    }
    const std::string& input = args[first];
    const std::string& output = args[first + 1];
    const std::string extension = ThreeLetterExtension(input);
    const bool png = EqualsIgnoreCase(extension, "PNG");
    if (!png && !EqualsIgnoreCase(extension, "BMP") && !EqualsIgnoreCase(extension, "PBM")) return kFailed;
    const int encodingFailed = png ? kFailed : kBmpFailed;

    int exitCode = encodingFailed;
    const std::optional<Canvas> picture =
        png ? ReadPngPicture(input, out, err, exitCode) : ReadBmpSource(input, SourceMode::ColourKey, out);
    if (!picture) return exitCode;

    const std::optional<PictureAnalysis> analysis = AnalysePicture(*picture);
    if (!analysis) {
        out << OverColourLimitMessage(kMaxPaletteColours, "", input);
        return encodingFailed;
    }
    const std::optional<std::vector<uint8_t>> encoded = abm
                                                            ? EncodeAbm(*analysis, picture->width, picture->height)
                                                            : EncodeAb2(*analysis, picture->width, picture->height);
    if (!encoded) {
        out << (abm ? OverColourLimitMessage(kMaxAbmOpaqueColours, "opaque ", input)
                    : OverColourLimitMessage(kMaxPaletteColours, "", input));
        return encodingFailed;
    }
    if (!WriteWholeFile(output, *encoded)) {
        err << "kelpa: cannot write the output file " << output << "\n";
        return kFailed;
    }
    return kSuccess;
}

} // namespace pavoline
