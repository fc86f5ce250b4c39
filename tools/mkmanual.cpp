// mkmanual: typesets the bundle's user manual from its Markdown source into an A4 PDF.
//
// Usage: mkmanual SOURCE.md OUTPUT.pdf
//
// The source starts with a "# " heading, the manual's title (also the PDF's title and the
// page footer). Pictures are named relative to the source's folder; one that cannot be read
// is an error, and one wider than the text is scaled down to the text's width. The PDF is
// written beside OUTPUT under a temporary name and renamed when complete, so a failed run
// never leaves a partial manual behind. Runs without a display.
#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextTable>

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace {

// Printed-page margins, wide enough for reading and for binding.
constexpr qreal kPageMarginMm = 20;
// The band between the text and the bottom margin that holds the page footer.
constexpr qreal kFooterBandMm = 10;
constexpr qreal kMmPerInch = 25.4;
constexpr int kBodyPointSize = 10;
constexpr int kFooterPointSize = 8;
// Room around a table cell's text, in pixels of the reference resolution below.
constexpr qreal kTableCellPadding = 4;
// Image sizes in a text document's formats are in pixels of this reference resolution;
// the application is told to use it (Qt::AA_Use96Dpi) so it does not depend on a screen.
constexpr qreal kImageUnitsPerInch = 96;
const char* const kBodyFont = "DejaVu Sans";

class ManualError : public std::runtime_error {
  public:
    explicit ManualError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

QString ReadSource(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ManualError("cannot read the manual's source '" + path + "': " + file.errorString());
    return QString::fromUtf8(file.readAll());
}

// A run of the document's text that shows one picture.
struct PictureRun {
    int position;
    int length;
    QTextImageFormat format;
};

std::vector<PictureRun> PictureRunsOf(const QTextDocument& manual) {
    std::vector<PictureRun> runs;
    for (QTextBlock block = manual.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().isImageFormat())
                runs.push_back({fragment.position(), fragment.length(),
                                fragment.charFormat().toImageFormat()});
        }
    }
    return runs;
}

// Loads the picture a run names, relative to the source's folder, and hands it to the
// document, so that what is typeset is exactly what was checked here.
QImage LoadPicture(QTextDocument& manual, const QTextImageFormat& format,
                   const QString& sourcePath) {
    const QUrl url = manual.baseUrl().resolved(QUrl(format.name()));
    const QString path = url.isLocalFile() ? url.toLocalFile() : format.name();
    const QImage picture(path);
    if (picture.isNull())
        throw ManualError("cannot read the picture '" + path + "' named in '" + sourcePath + "'");
    manual.addResource(QTextDocument::ImageResource, url, picture);
    return picture;
}

// Gives a picture wider than the text the text's width, keeping its proportions.
QTextImageFormat FittedFormat(QTextImageFormat format, const QImage& picture, qreal textWidth) {
    const qreal width =
        format.hasProperty(QTextFormat::ImageWidth) ? format.width() : qreal(picture.width());
    if (width > textWidth) {
        format.setWidth(textWidth);
        format.setHeight(textWidth * picture.height() / picture.width());
    }
    return format;
}

void PlacePictures(QTextDocument& manual, const QString& sourcePath, qreal textWidth) {
    for (const PictureRun& run : PictureRunsOf(manual)) {
        const QImage picture = LoadPicture(manual, run.format, sourcePath);
        QTextCursor cursor(&manual);
        cursor.setPosition(run.position);
        cursor.setPosition(run.position + run.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(FittedFormat(run.format, picture, textWidth));
    }
}

// Tables come from the Markdown with their text touching the rules; give them air.
void PadTables(QTextDocument& manual) {
    for (QTextFrame* frame : manual.rootFrame()->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(frame)) {
            QTextTableFormat format = table->format();
            format.setCellPadding(kTableCellPadding);
            format.setBorderCollapse(true);
            table->setFormat(format);
        }
    }
}

QString TitleOf(const QTextDocument& manual, const QString& sourcePath) {
    for (QTextBlock block = manual.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 1 && !block.text().trimmed().isEmpty())
            return block.text().trimmed();
    }
    throw ManualError("'" + sourcePath + "' has no title: start it with a '# ' heading");
}

void SetUpPages(QPdfWriter& writer, const QString& title) {
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(kPageMarginMm, kPageMarginMm, kPageMarginMm, kPageMarginMm),
                          QPageLayout::Millimeter);
    writer.setTitle(title);
    writer.setCreator("mkmanual");
}

qreal DeviceUnitsOfMm(const QPdfWriter& writer, qreal mm) {
    return mm * writer.logicalDpiY() / kMmPerInch;
}

void DrawFooter(QPainter& painter, const QPdfWriter& writer, const QString& text) {
    painter.save();
    painter.setFont(QFont(kBodyFont, kFooterPointSize));
    painter.setPen(Qt::darkGray);
    const qreal band = DeviceUnitsOfMm(writer, kFooterBandMm);
    const QRectF footer(0, writer.height() - band, writer.width(), band);
    painter.drawText(footer, Qt::AlignHCenter | Qt::AlignBottom, text);
    painter.restore();
}

// Draws the laid-out document one page at a time, each with its footer.
void DrawPages(QPdfWriter& writer, QTextDocument& manual, const QString& title) {
    QPainter painter;
    if (!painter.begin(&writer)) throw ManualError("cannot start the PDF");
    const QSizeF page = manual.pageSize();
    const int pageCount = manual.pageCount();
    for (int index = 0; index < pageCount; ++index) {
        if (index > 0 && !writer.newPage()) throw ManualError("cannot start a new PDF page");
        painter.save();
        painter.translate(0, -index * page.height());
        manual.drawContents(&painter, QRectF(QPointF(0, index * page.height()), page));
        painter.restore();
        DrawFooter(painter, writer,
                   QString("%1 \u2014 page %2 of %3").arg(title).arg(index + 1).arg(pageCount));
    }
    painter.end();
}

void TypesetManual(const QString& sourcePath, const QString& outputPath) {
    const QString markdown = ReadSource(sourcePath);

    QSaveFile output(outputPath);
    if (!output.open(QIODevice::WriteOnly))
        throw ManualError("cannot write '" + outputPath + "': " + output.errorString());
    QPdfWriter writer(&output);

    // Declared after the writer so that it goes first: its layout measures text on the writer.
    QTextDocument manual;
    manual.setDefaultFont(QFont(kBodyFont, kBodyPointSize));
    manual.setDocumentMargin(0); // the page margins are the writer's
    manual.setBaseUrl(QUrl::fromLocalFile(QFileInfo(sourcePath).absolutePath() + '/'));
    manual.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    const QString title = TitleOf(manual, sourcePath);
    SetUpPages(writer, title);

    PlacePictures(manual, sourcePath, writer.width() * kImageUnitsPerInch / writer.logicalDpiX());
    PadTables(manual);
    // Last, once every format is final: this lays the whole document out again in pages. A
    // format changed after it would be laid out lazily, and the text after it not at all.
    manual.documentLayout()->setPaintDevice(&writer);
    manual.setPageSize(
        QSizeF(writer.width(), writer.height() - DeviceUnitsOfMm(writer, kFooterBandMm)));

    DrawPages(writer, manual, title);
    if (!output.commit())
        throw ManualError("cannot write '" + outputPath + "': " + output.errorString());
}

} // namespace

int main(int argc, char** argv) {
    // A PDF needs no screen: without a chosen platform, run headless rather than abort.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
    QGuiApplication application(argc, argv);
    if (argc != 3) {
        std::fputs("usage: mkmanual SOURCE.md OUTPUT.pdf\n", stderr);
        return 2;
    }
    try {
        TypesetManual(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    } catch (const ManualError& error) {
        std::fprintf(stderr, "mkmanual: %s\n", error.what());
        return 1;
    }
    return 0;
}
