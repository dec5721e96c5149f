// Draws the program's own images (row glyphs, tool-bar icons, the confirmation picture and
// the logo) into PNG files; the resource file lists them. Run: DrawImages <folder>.

#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

using TDraw = std::function<void(QPainter&)>;

bool Save(const QString& folder, const QString& name, int w, int h, const TDraw& draw) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void Disc(QPainter& p, QColor fill, QColor edge) {
    p.setPen(QPen(edge, 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

void Bang(QPainter& p, QColor color) {
    p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 4.5), QPointF(8, 9));
    p.drawPoint(QPointF(8, 11.5));
}

void Page(QPainter& p, QColor fill) {
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(fill);
    p.drawRect(QRectF(3.5, 1.5, 9, 13));
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: DrawImages <folder>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    bool ok = true;
    const QColor green(40, 160, 60), red(210, 40, 40), amber(235, 160, 30), grey(130, 130, 130);

    // Row glyphs of the channel list (image numbers of the main image list).
    ok &= Save(out, "main_45", 16, 16, [](QPainter& p) { // selection mark
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 80, 200));
        p.drawPolygon(QPolygonF({QPointF(4, 3), QPointF(13, 8), QPointF(4, 13)}));
    });
    ok &= Save(out, "main_60", 16, 16, [&](QPainter& p) { // channel not present
        Disc(p, QColor(200, 200, 200), grey);
        p.setPen(QPen(QColor(90, 90, 90), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5, 8), QPointF(11, 8));
    });
    ok &= Save(out, "main_74", 16, 16, [&](QPainter& p) { // error now
        Disc(p, red, red.darker(140));
        Bang(p, Qt::white);
    });
    ok &= Save(out, "main_75", 16, 16, [&](QPainter& p) { // status OK
        Disc(p, green, green.darker(140));
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5)}));
    });
    ok &= Save(out, "main_76", 16, 16, [&](QPainter& p) { // error in the history
        Disc(p, amber, amber.darker(140));
        Bang(p, QColor(60, 40, 0));
    });

    // Tool-bar and menu icons.
    ok &= Save(out, "scan", 16, 16, [](QPainter& p) {
        p.setPen(QPen(QColor(30, 80, 200), 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(2, 2, 8, 8));
        p.drawLine(QPointF(9, 9), QPointF(14, 14));
    });
    ok &= Save(out, "exit", 16, 16, [](QPainter& p) {
        p.setPen(QPen(QColor(160, 30, 30), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
    });
    ok &= Save(out, "load", 16, 16, [](QPainter& p) {
        p.setPen(QPen(QColor(120, 90, 20), 1));
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(QRectF(1.5, 5.5, 13, 8));
        p.drawRect(QRectF(1.5, 3.5, 5, 2));
    });
    ok &= Save(out, "save", 16, 16, [](QPainter& p) {
        p.setPen(QPen(QColor(20, 40, 110), 1));
        p.setBrush(QColor(60, 100, 200));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
    });
    ok &= Save(out, "home", 16, 16, [](QPainter& p) {
        p.setPen(QPen(QColor(80, 50, 20), 1));
        p.setBrush(QColor(220, 120, 60));
        p.drawPolygon(QPolygonF({QPointF(8, 1.5), QPointF(14.5, 7.5), QPointF(1.5, 7.5)}));
        p.setBrush(QColor(240, 230, 200));
        p.drawRect(QRectF(3.5, 7.5, 9, 7));
    });
    ok &= Save(out, "control", 16, 16, [](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        for (int i = 0; i < 3; ++i) {
            p.setBrush(i == 1 ? QColor(166, 202, 240) : QColor(232, 232, 232));
            p.drawRect(QRectF(1.5, 1.5 + i * 4.5, 13, 3.5));
        }
    });
    ok &= Save(out, "log", 16, 16, [](QPainter& p) {
        Page(p, Qt::white);
        p.setPen(QPen(QColor(90, 90, 90), 1));
        for (int y = 5; y <= 11; y += 3)
            p.drawLine(QPointF(5, y + 0.5), QPointF(11, y + 0.5));
    });
    ok &= Save(out, "settings", 16, 16, [](QPainter& p) {
        p.setPen(QPen(QColor(70, 70, 70), 3, Qt::SolidLine, Qt::FlatCap));
        for (int a = 0; a < 180; a += 45) {
            p.save();
            p.translate(8, 8);
            p.rotate(a);
            p.drawLine(QPointF(-7, 0), QPointF(7, 0));
            p.restore();
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(70, 70, 70));
        p.drawEllipse(QRectF(3, 3, 10, 10));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(6, 6, 4, 4));
    });
    ok &= Save(out, "about", 16, 16, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 80, 200));
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 7, 2, 5));
        p.drawEllipse(QRectF(7, 3.5, 2, 2));
    });
    ok &= Save(out, "devinfo", 16, 16, [](QPainter& p) {
        p.setPen(QPen(QColor(50, 50, 50), 1));
        p.setBrush(QColor(200, 205, 215));
        p.drawRect(QRectF(1.5, 4.5, 13, 8));
        p.setBrush(QColor(40, 160, 60));
        p.drawEllipse(QRectF(3, 7, 3, 3));
        p.drawEllipse(QRectF(7, 7, 3, 3));
    });
    ok &= Save(out, "devstatus", 16, 16, [](QPainter& p) {
        p.setPen(QPen(QColor(50, 50, 50), 1));
        p.setBrush(QColor(200, 205, 215));
        p.drawRect(QRectF(1.5, 4.5, 13, 8));
        p.setPen(QPen(QColor(210, 40, 40), 1.5));
        p.drawPolyline(QPolygonF({QPointF(3, 9), QPointF(5.5, 9), QPointF(7, 6), QPointF(9, 11),
                                  QPointF(10.5, 8), QPointF(13, 8)}));
    });
    auto lock = [](bool closed) {
        return [closed](QPainter& p) {
            p.setPen(QPen(QColor(90, 90, 90), 2));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(4, closed ? 2 : 0, 8, 9), 0, 180 * 16);
            p.setPen(QPen(QColor(120, 90, 20), 1));
            p.setBrush(QColor(240, 190, 50));
            p.drawRect(QRectF(2.5, 7.5, 11, 7));
        };
    };
    ok &= Save(out, "lock", 16, 16, lock(true));
    ok &= Save(out, "unlock", 16, 16, lock(false));
    ok &= Save(out, "refresh", 16, 16, [](QPainter& p) {
        p.setPen(QPen(QColor(40, 140, 60), 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 270 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 140, 60));
        p.drawPolygon(QPolygonF({QPointF(9, 0.5), QPointF(13.5, 3), QPointF(9, 6)}));
    });

    // The confirmation box's picture.
    ok &= Save(out, "question", 32, 32, [](QPainter& p) {
        p.setPen(QPen(QColor(20, 60, 150), 1));
        p.setBrush(QColor(50, 110, 210));
        p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
        QFont font(QStringLiteral("Sans"));
        font.setPixelSize(22);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("?"));
    });
    // The logo of the overview page and the window icon.
    ok &= Save(out, "logo", 64, 64, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 60, 150));
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
        p.setPen(QPen(QColor(250, 200, 40), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath wave;
        wave.moveTo(8, 44);
        for (int x = 8; x <= 56; x += 2)
            wave.lineTo(x, 44 - 10 * std::sin((x - 8) / 48.0 * 2 * 3.14159265));
        p.drawPath(wave);
        QFont font(QStringLiteral("Sans"));
        font.setPixelSize(18);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(2, 6, 60, 22), Qt::AlignCenter, QStringLiteral("QRB"));
    });
    return ok ? 0 : 1;
}
