// The image plug-in as the user's Qt programs meet it: QImageReader, QMovie and QImageWriter on the
// files the console programs make; the thumbnailer; the desktop's file types after
// install-menu-entry; the launcher's model pictures in the phone's formats.
#include "canvas.h"
#include "file_io.h"
#include "picture_files.h"
#include "picture_writers.h"
#include "process.h"
#include "temp_dir.h"
#include "tree_snapshot.h"

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QHBoxLayout>
#include <QLabel>
#include <QMovie>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>

namespace pavoline {
namespace {

using test::ReadBytes;
using test::RunProgram;
using test::SuiteProgram;
using test::TempDir;
using test::WriteBytes;

const QString kSuite = PAVOLINE_SUITE_DIR;

enum class Look { Opaque, Translucent, Transparent };

// A picture with a few thousand colours (ABM holds at most 65,534), hard edges and, when
// translucent, four alphas and a transparent border, so that margins are coded too.
Canvas MakePicture(int width, int height, Look look) {
    Canvas picture(width, height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t rgb = ((x / 8) % 32) << 19 | ((y / 16) % 64) << 10 | (((x + y) / 64) % 32) << 3;
            uint32_t alpha = 0xFF;
            if (look == Look::Transparent) alpha = 0;
            if (look == Look::Translucent) {
                static const uint32_t kAlphas[] = {0x40, 0x80, 0xC0, 0xFF};
                const bool border = x < width / 8 || y < height / 8;
                alpha = border ? 0 : kAlphas[(x / 32 + y / 32) % 4];
            }
            picture.row(y)[x] = alpha << 24 | rgb;
        }
    return picture;
}

QImage ImageOf(const Canvas& canvas) {
    QImage image(canvas.width, canvas.height, QImage::Format_ARGB32);
    for (int y = 0; y < canvas.height; ++y) std::memcpy(image.scanLine(y), canvas.row(y), 4 * size_t(canvas.width));
    return image;
}

Canvas CanvasOf(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    Canvas canvas(argb.width(), argb.height());
    for (int y = 0; y < argb.height(); ++y) std::memcpy(canvas.row(y), argb.constScanLine(y), 4 * size_t(argb.width()));
    return canvas;
}

std::string RunSuite(const std::string& program, const std::vector<std::string>& args, const std::string& dir = "") {
    const test::ProcessResult run = RunProgram(SuiteProgram(program), args, dir);
    EXPECT_EQ(run.exitCode, 0) << program << ": " << run.out << run.err;
    return run.out;
}

// kelpa's AB2 (or ABM) of a picture handed over as PNG, as a designer makes it.
std::string Encode(const TempDir& dir, const Canvas& picture, const std::string& name, bool abm) {
    const std::string png = dir.file(name + ".png");
    WriteBytes(png, test::BuildPngRgba(picture));
    const std::string out = dir.file(name + (abm ? ".abm" : ".ab2"));
    RunSuite("kelpa", abm ? std::vector<std::string>{"-abm", png, out} : std::vector<std::string>{png, out});
    return out;
}

QImage Read(const std::string& path, const QByteArray& format = {}) {
    QImageReader reader(QString::fromStdString(path), format);
    return reader.read();
}

TEST(ImageReader, GivesThePixelsTheDecoderProgramsWrite) {
    TempDir dir;
    for (const auto& [width, height] : {std::pair{1, 1}, {3, 2}, {300, 17}, {1024, 1024}})
        for (Look look : {Look::Opaque, Look::Translucent, Look::Transparent})
            for (bool abm : {false, true}) {
                SCOPED_TRACE(testing::Message() << width << "x" << height << " look " << int(look) << (abm ? " abm" : " ab2"));
                const std::string file = Encode(dir, MakePicture(width, height, look), "p", abm);
                RunSuite(abm ? "TULSE" : "morin", {file, dir.file("p.bmp")});
                QImageReader reader(QString::fromStdString(file));
                EXPECT_EQ(reader.format(), abm ? "abm" : "ab2");
                EXPECT_EQ(reader.size(), QSize(width, height));
                EXPECT_EQ(reader.imageFormat(), QImage::Format_ARGB32);
                const QImage image = reader.read();
                ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
                EXPECT_EQ(EncodeBmp32(CanvasOf(image)), ReadBytes(dir.file("p.bmp")));
            }
}

// canRead looks at the bytes: a file is read as what it is, whatever its name.
TEST(ImageReader, TellsTheFormatByContentNotByName) {
    TempDir dir;
    const Canvas picture = MakePicture(40, 30, Look::Translucent);
    const std::string ab2 = Encode(dir, picture, "p", false), abm = Encode(dir, picture, "q", true);
    RunSuite("presk", {"ABM", "50", "0", dir.file("s.seq"), abm});
    const struct {
        std::string bytesOf, name;
        QByteArray format;
    } cases[] = {{dir.file("p.png"), "png_named.abm", "png"}, {dir.file("p.png"), "png_named.ab2", "png"},
                 {dir.file("p.png"), "png_named.seq", "png"}, {ab2, "ab2_named.png", "ab2"},
                 {ab2, "ab2_named.abm", "ab2"},           {abm, "abm_named.ab2", "abm"},
                 {abm, "abm_named.png", "abm"},           {dir.file("s.seq"), "seq_named.png", "seq"},
                 {ab2, "no_extension", "ab2"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(dir.file(c.name), ReadBytes(c.bytesOf));
        QImageReader reader(QString::fromStdString(dir.file(c.name)));
        EXPECT_EQ(reader.format(), c.format);
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(40, 30));
    }
}

TEST(ImageReader, RefusesDamagedFilesAndAnswersSizeFromTheHeaderAlone) {
    int files = 0;
    for (const QFileInfo& file : QDir(PAVOLINE_TEST_DATA "/malformed").entryInfoList({"*.abm", "*.ab2", "*.seq"})) {
        SCOPED_TRACE(file.fileName().toStdString());
        ++files;
        EXPECT_TRUE(Read(file.filePath().toStdString()).isNull());
        EXPECT_TRUE(Read(file.filePath().toStdString(), file.suffix().toLatin1()).isNull());
    }
    EXPECT_GE(files, 15);
    // A header whose palette is cut off: its size is known, its pixels are not.
    TempDir dir;
    std::vector<uint8_t> cut = ReadBytes(Encode(dir, MakePicture(64, 48, Look::Opaque), "p", true));
    cut.resize(14);
    WriteBytes(dir.file("cut.abm"), cut);
    QImageReader reader(QString::fromStdString(dir.file("cut.abm")), "abm");
    EXPECT_EQ(reader.size(), QSize(64, 48));
    EXPECT_EQ(reader.imageFormat(), QImage::Format_ARGB32);
    EXPECT_TRUE(reader.read().isNull());
}

// QMovie plays a presk sequence: its frames, in order, each for its delay, 1 + repeat times.
TEST(SequenceMovie, PlaysPreskSequencesOfAbmAndOfPngFrames) {
    TempDir dir;
    std::vector<std::string> abm, png;
    std::vector<QImage> expected;
    for (int i = 0; i < 3; ++i) {
        Canvas picture = MakePicture(24, 16, Look::Translucent);
        picture.row(8)[8 + i] = 0xFF0000FF; // each frame its own
        abm.push_back(Encode(dir, picture, "f" + std::to_string(i), true));
        png.push_back(dir.file("f" + std::to_string(i) + ".png"));
        expected.push_back(Read(abm.back()));
    }
    for (bool pngFrames : {false, true}) {
        SCOPED_TRACE(pngFrames ? "PNG frames" : "ABM frames");
        std::vector<std::string> args{pngFrames ? "PNG" : "ABM", "30", "2", dir.file("s.seq")};
        for (const std::string& frame : pngFrames ? png : abm) args.push_back(frame);
        RunSuite("presk", args);
        QMovie movie(QString::fromStdString(dir.file("s.seq")));
        ASSERT_TRUE(movie.isValid());
        EXPECT_EQ(movie.format(), "seq");
        EXPECT_EQ(movie.frameCount(), 3);
        EXPECT_EQ(movie.loopCount(), 2);
        // QMovie takes the decoding time off the delay, so the reader tells the delay itself.
        QImageReader reader(QString::fromStdString(dir.file("s.seq")));
        for (int i = 0; i < 3; ++i) {
            ASSERT_FALSE(reader.read().isNull());
            EXPECT_EQ(reader.nextImageDelay(), 30) << "frame " << i;
        }
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(movie.jumpToFrame(i));
            // A movie's frames are pixmaps, premultiplied, like any other movie's.
            const QImage frame = movie.currentImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            EXPECT_EQ(frame, (pngFrames ? Read(png[i]) : expected[i]).convertToFormat(QImage::Format_ARGB32_Premultiplied))
                << "frame " << i;
        }
        QMovie playing(QString::fromStdString(dir.file("s.seq")));
        QSignalSpy frames(&playing, &QMovie::frameChanged), finished(&playing, &QMovie::finished);
        playing.start();
        EXPECT_TRUE(finished.wait(10000));
        EXPECT_EQ(frames.count(), 9);
    }
}

// What a Qt editor saves is what kelpa writes for the same picture, and morin reads it.
TEST(ImageWriter, WritesAb2AndAbmAsKelpaDoes) {
    TempDir dir;
    const Canvas picture = MakePicture(120, 90, Look::Translucent);
    for (bool abm : {false, true}) {
        const QByteArray format = abm ? "abm" : "ab2";
        const std::string saved = dir.file("saved." + format.toStdString());
        QImageWriter writer(QString::fromStdString(saved), format);
        ASSERT_TRUE(writer.write(ImageOf(picture))) << writer.errorString().toStdString();
        EXPECT_EQ(ReadBytes(saved), ReadBytes(Encode(dir, picture, "kelpa", abm)));
    }
    RunSuite("morin", {dir.file("saved.ab2"), dir.file("saved.bmp")});
    RunSuite("morin", {dir.file("kelpa.ab2"), dir.file("kelpa.bmp")});
    EXPECT_EQ(ReadBytes(dir.file("saved.bmp")), ReadBytes(dir.file("kelpa.bmp")));

    // Where the encoder takes no picture, nothing is claimed written.
    Canvas manyColours(1024, 64); // every RGB565 colour once: one more than a palette holds
    for (uint32_t v = 0; v < 65536; ++v)
        manyColours.pixels[v] = 0xFF000000u | (v >> 11) << 19 | ((v >> 5) & 63) << 10 | (v & 31) << 3;
    for (const QImage& refused : {ImageOf(MakePicture(1025, 4, Look::Opaque)), ImageOf(manyColours), QImage()}) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        EXPECT_FALSE(QImageWriter(&buffer, "ab2").write(refused));
    }
}

struct Thumbnail {
    int exitCode = -1;
    QImage image;
};

Thumbnail MakeThumbnail(const std::string& input, int size, const std::string& output) {
    const test::ProcessResult run = RunProgram(SuiteProgram("pavoline-thumbnailer"), {"-s", std::to_string(size), input, output});
    return {run.exitCode, QImage(QString::fromStdString(output), "png")};
}

TEST(Thumbnailer, WritesAPngNoLargerThanAskedWithTheThumbnailText) {
    TempDir dir;
    const std::string big = Encode(dir, MakePicture(300, 200, Look::Translucent), "big", false);
    const std::string small = Encode(dir, MakePicture(20, 10, Look::Opaque), "small", true);
    RunSuite("presk", {"ABM", "40", "0", dir.file("s.seq"), Encode(dir, MakePicture(300, 150, Look::Opaque), "f", true), small});
    const struct {
        std::string input;
        QSize size;
    } cases[] = {{big, QSize(128, 85)}, {small, QSize(20, 10)}, {dir.file("s.seq"), QSize(128, 64)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const Thumbnail made = MakeThumbnail(c.input, 128, dir.file("thumb"));
        ASSERT_EQ(made.exitCode, 0);
        EXPECT_EQ(made.image.size(), c.size);
        const QFileInfo original(QString::fromStdString(c.input));
        EXPECT_EQ(made.image.text("Thumb::URI"), QUrl::fromLocalFile(original.absoluteFilePath()).toString(QUrl::FullyEncoded));
        EXPECT_EQ(made.image.text("Thumb::MTime"), QString::number(original.lastModified().toSecsSinceEpoch()));
    }
    // A URI, as the file manager hands it over, is named as given; a shrunk copy keeps the picture.
    const std::string uri = QUrl::fromLocalFile(QString::fromStdString(big)).toString(QUrl::FullyEncoded).toStdString();
    const Thumbnail fromUri = MakeThumbnail(uri, 256, dir.file("uri.png"));
    EXPECT_EQ(fromUri.image.size(), QSize(256, 170));
    EXPECT_EQ(fromUri.image.text("Thumb::URI").toStdString(), uri);
    // What it cannot read leaves no thumbnail behind.
    WriteBytes(dir.file("broken.ab2"), {1, 2, 3});
    EXPECT_EQ(MakeThumbnail(dir.file("broken.ab2"), 128, dir.file("none.png")).exitCode, 1);
    EXPECT_FALSE(test::FileExists(dir.file("none.png")));
    EXPECT_EQ(MakeThumbnail(big, 0, dir.file("none.png")).exitCode, 1);
}

// A file manager's view of a designer's folder, as the thumbnailer draws it: the README's picture.
TEST(Thumbnailer, ShowsConvertedFilesAsAFileManagerDoes) {
    TempDir dir;
    const std::string icon = PAVOLINE_TEST_DATA "/samples/phone_icon.png";
    RunSuite("kelpa", {icon, dir.file("phone_icon.ab2")});
    RunSuite("kelpa", {"-abm", icon, dir.file("phone_icon.abm")});
    const std::string glass = Encode(dir, MakePicture(160, 120, Look::Translucent), "glass", false);
    RunSuite("presk", {"ABM", "80", "0", dir.file("blink.seq"), dir.file("phone_icon.abm"), Encode(dir, MakePicture(96, 96, Look::Opaque), "f", true)});
    QWidget window;
    window.setStyleSheet("background: white; color: #202020;");
    auto* row = new QHBoxLayout(&window);
    for (const char* name : {"phone_icon.ab2", "phone_icon.abm", "glass.ab2", "blink.seq"}) {
        const Thumbnail made = MakeThumbnail(dir.file(name), 128, dir.file(std::string(name) + ".thumb.png"));
        ASSERT_EQ(made.exitCode, 0) << name;
        QPixmap tile(136, 136); // a checkerboard shows what is translucent
        QPainter painter(&tile);
        for (int y = 0; y < 136; y += 8)
            for (int x = 0; x < 136; x += 8) painter.fillRect(x, y, 8, 8, (x + y) % 16 ? QColor(0xCC, 0xCC, 0xCC) : Qt::white);
        painter.drawImage((136 - made.image.width()) / 2, (136 - made.image.height()) / 2, made.image);
        painter.end();
        auto* cell = new QVBoxLayout;
        auto* picture = new QLabel;
        picture->setPixmap(tile);
        cell->addWidget(picture, 0, Qt::AlignHCenter);
        cell->addWidget(new QLabel(QString::fromLatin1(name)), 0, Qt::AlignHCenter);
        row->addLayout(cell);
    }
    window.show();
    const QString shot = PAVOLINE_BUILD_DIR "/screenshots/seeing_your_files.png";
    QDir().mkpath(QFileInfo(shot).path());
    EXPECT_TRUE(window.grab().save(shot));
}

QString RunWithHome(const QString& program, const QStringList& args, const QString& home) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("GIO_USE_VFS", "local");
    process.setProcessEnvironment(env);
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

TEST(InstallMenuEntry, TeachesTheDesktopTheTypesAndUninstallsExactlyThat) {
    TempDir dir;
    const QString home = QString::fromStdString(dir.file("home"));
    // The user's own things beside ours.
    QDir().mkpath(home + "/.local/share/applications");
    test::WriteText(dir.file("home/.local/share/applications/editor.desktop"), "[Desktop Entry]\nName=Editor\n");
    const test::TreeSnapshot before = test::SnapshotOf(home.toStdString());

    const QString printed = RunWithHome(kSuite + "/install-menu-entry", {}, home);
    EXPECT_TRUE(printed.contains("export QT_PLUGIN_PATH=\"" + home + "/.local/lib/qt6/plugins${QT_PLUGIN_PATH:+:$QT_PLUGIN_PATH}\""))
        << printed.toStdString();
    EXPECT_EQ(ReadBytes(dir.file("home/.local/lib/qt6/plugins/imageformats/libpavoline_imageformats.so")),
              ReadBytes((kSuite + "/plugins/imageformats/libpavoline_imageformats.so").toStdString()));
    EXPECT_TRUE(test::ReadText(dir.file("home/.local/share/thumbnailers/pavoline.thumbnailer"))
                    .find("Exec=\"" + kSuite.toStdString() + "/pavoline-thumbnailer\" -s %s %u %o") != std::string::npos);
    for (const auto& [name, type] : {std::pair{"a.abm", "image/x-pavoline-abm"}, {"B.AB2", "image/x-pavoline-ab2"},
                                     {"walk.seq", "image/x-pavoline-sequence"}}) {
        WriteBytes(dir.file(name), {0});
        const QString info = RunWithHome("gio", {"info", "-a", "standard::content-type", QString::fromStdString(dir.file(name))}, home);
        EXPECT_TRUE(info.contains(QString("standard::content-type: ") + type)) << info.toStdString();
    }
    RunWithHome(kSuite + "/install-menu-entry", {}, home); // again, as after moving the suite
    RunWithHome(kSuite + "/install-menu-entry", {"--uninstall"}, home);
    EXPECT_EQ(test::SnapshotOf(home.toStdString()), before);
}

// A copy of the built suite with N70's pictures replaced, run to its first page and photographed.
QImage LauncherScreenshot(const std::function<void(const std::string& modelDir)>& replacePictures) {
    TempDir dir;
    const std::string suite = dir.file("suite");
    test::CopyTree(kSuite.toStdString(), suite);
    replacePictures(suite + "/Resource/N70/");
    QProcess launcher;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("PAVOLINE_INSTANCE_SUFFIX", QString("-imageformats-%1").arg(QCoreApplication::applicationPid()));
    env.insert("PAVOLINE_MESSAGES_TO_STDERR", "1");
    env.insert("PAVOLINE_UPDATE_HOST", "127.0.0.1:9"); // nothing answers
    env.insert("PAVOLINE_SCREENSHOT", QString::fromStdString(dir.file("shot.png")));
    launcher.setProcessEnvironment(env);
    launcher.start(QString::fromStdString(suite + "/Pavoline"), {});
    EXPECT_TRUE(launcher.waitForFinished(30000));
    return QImage(QString::fromStdString(dir.file("shot.png")));
}

// The launcher reads model pictures through QImage, so an AB2 or ABM picture shows like a PNG.
TEST(Launcher, ShowsModelPicturesInThePhonesFormats) {
    // Each picture through kelpa, as AB2 or ABM; put in as it is, or as a PNG of the same pixels.
    auto pictures = [](bool phoneFormats) {
        return [phoneFormats](const std::string& model) {
            int i = 0;
            for (const char* name : {"N70_1.png", "N70_2.png", "N70_3.png"}) {
                TempDir work;
                const std::string encoded = Encode(work, CanvasOf(QImage(QString::fromStdString(model + name))), "p", i++ % 2);
                if (phoneFormats)
                    WriteBytes(model + name, ReadBytes(encoded));
                else
                    ASSERT_TRUE(Read(encoded).save(QString::fromStdString(model + name), "png"));
            }
        };
    };
    const QImage asPng = LauncherScreenshot(pictures(false));
    const QImage asPhoneFormats = LauncherScreenshot(pictures(true));
    const QImage withoutPictures = LauncherScreenshot([](const std::string& model) {
        for (const char* name : {"N70_1.png", "N70_2.png", "N70_3.png"}) std::remove((model + name).c_str());
    });
    ASSERT_FALSE(asPng.isNull());
    EXPECT_EQ(asPhoneFormats, asPng);
    EXPECT_NE(withoutPictures, asPng);
}

} // namespace
} // namespace pavoline

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen"); // the test list too
    QApplication app(argc, argv);
    QCoreApplication::addLibraryPath(pavoline::kSuite + "/plugins");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
