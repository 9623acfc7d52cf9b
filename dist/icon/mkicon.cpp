// mkicon OUT_DIR ICON_NAME: draws the program's icon into the hicolor tree
// below OUT_DIR: scalable/apps/ICON_NAME.svg and NxN/apps/ICON_NAME.png.
// Both come from the one list of shapes below, so they cannot drift apart.
// The icon: a silver disc with a green badge carrying a white arrow, the
// track leaving the disc.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kViewBox = 256;
const int kPixelSizes[] = {48, 64, 128, 256};

struct Shape {
    enum Kind { Circle, Polygon } kind;
    std::vector<double> values;  // circle: cx, cy, r; polygon: x0, y0, x1, y1, ...
    const char* fill;
    const char* stroke;  // nullptr: no outline
    double strokeWidth;
};

const std::vector<Shape>& Shapes()
{
    static const std::vector<Shape> shapes = {
        {Shape::Circle, {124, 124, 112}, "#c5ced8", "#4f5f70", 8},
        {Shape::Circle, {124, 124, 88}, "#e4eaf1", nullptr, 0},
        {Shape::Circle, {124, 124, 62}, "#d2dbe5", nullptr, 0},
        {Shape::Circle, {124, 124, 34}, "#9aabbd", "#4f5f70", 4},
        {Shape::Circle, {124, 124, 13}, "#ffffff", "#4f5f70", 4},
        {Shape::Circle, {192, 192, 56}, "#2f9e44", "#ffffff", 8},
        {Shape::Polygon,
         {180, 156, 204, 156, 204, 188, 222, 188, 192, 222, 162, 188, 180, 188},
         "#ffffff",
         nullptr,
         0},
    };
    return shapes;
}

std::string Number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string Svg()
{
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      Number(kViewBox) + "\" height=\"" + Number(kViewBox) + "\" viewBox=\"0 0 " +
                      Number(kViewBox) + " " + Number(kViewBox) + "\">\n";
    for (const Shape& s : Shapes()) {
        std::string paint = " fill=\"" + std::string(s.fill) + "\"";
        if (s.stroke)
            paint +=
                " stroke=\"" + std::string(s.stroke) + "\" stroke-width=\"" + Number(s.strokeWidth) + "\"";
        if (s.kind == Shape::Circle) {
            svg += "  <circle cx=\"" + Number(s.values[0]) + "\" cy=\"" + Number(s.values[1]) + "\" r=\"" +
                   Number(s.values[2]) + "\"" + paint + "/>\n";
        } else {
            std::string points;
            for (size_t i = 0; i + 1 < s.values.size(); i += 2)
                points += (i ? " " : "") + Number(s.values[i]) + "," + Number(s.values[i + 1]);
            svg += "  <polygon points=\"" + points + "\"" + paint + "/>\n";
        }
    }
    return svg + "</svg>\n";
}

QImage Png(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(double(size) / kViewBox, double(size) / kViewBox);
    for (const Shape& s : Shapes()) {
        painter.setBrush(QColor(QString::fromLatin1(s.fill)));
        if (s.stroke)
            painter.setPen(QPen(QColor(QString::fromLatin1(s.stroke)), s.strokeWidth));
        else
            painter.setPen(Qt::NoPen);
        if (s.kind == Shape::Circle) {
            painter.drawEllipse(QPointF(s.values[0], s.values[1]), s.values[2], s.values[2]);
        } else {
            QPolygonF polygon;
            for (size_t i = 0; i + 1 < s.values.size(); i += 2)
                polygon << QPointF(s.values[i], s.values[i + 1]);
            painter.drawPolygon(polygon);
        }
    }
    return image;
}

bool WriteFile(const QString& path, const std::string& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkicon OUT_DIR ICON_NAME\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    const QString scalable = root + QStringLiteral("/scalable/apps");
    if (!QDir().mkpath(scalable) ||
        !WriteFile(scalable + QLatin1Char('/') + name + QStringLiteral(".svg"), Svg())) {
        std::fprintf(stderr, "mkicon: cannot write the SVG icon below %s\n", argv[1]);
        return 1;
    }
    for (int size : kPixelSizes) {
        const QString folder = root + QStringLiteral("/%1x%1/apps").arg(size);
        const QString file = folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!QDir().mkpath(folder) || !Png(size).save(file, "PNG")) {
            std::fprintf(stderr, "mkicon: cannot write %s\n", file.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
