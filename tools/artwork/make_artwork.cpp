// Draws the program's artwork and writes it into the given folder: the six
// 180 x 180 glyphs of the left column (Info, LoRa, Serial, each normal and
// selected), the pin-map picture of the sTavi serial page, and the
// 349 x 129 About picture as a JPEG, and the program's icon (the About
// picture's modem and its radio waves on a tile) at the sizes the desktop's
// icon theme uses. The committed files under assets/ are
// this program's output (`cmake --build <dir> --target artwork`); drawing
// uses only fixed shapes and the Liberation fonts, so a run on the same
// system writes the same bytes again.
// jpeglib.h uses FILE and size_t without including their headers.
// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

const QColor kInk(0x2b, 0x4f, 0x7e);
const QColor kInkLight(0x6f, 0x8c, 0xb2);

QFont Font(const char* family, int px, bool bold) {
  QFont f(QString::fromLatin1(family));
  f.setPixelSize(px);
  f.setBold(bold);
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

QImage NewImage(int w, int h, QColor fill) {
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(fill);
  return img;
}

enum class Symbol { Info, LoRa, Serial };

void DrawSymbol(QPainter& p, Symbol s, QColor ink) {
  p.setBrush(Qt::NoBrush);
  switch (s) {
    case Symbol::Info: {
      p.setPen(QPen(ink, 8));
      p.drawEllipse(QPointF(90, 68), 44, 44);
      p.setPen(Qt::NoPen);
      p.setBrush(ink);
      p.drawEllipse(QPointF(90, 45), 7.5, 7.5);
      p.drawRoundedRect(QRectF(83, 59, 14, 38), 3, 3);
      break;
    }
    case Symbol::LoRa: {
      const QPointF top(90, 58);
      p.setPen(QPen(ink, 7, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(90, 66), QPointF(90, 112));
      p.drawLine(QPointF(72, 112), QPointF(108, 112));
      p.setPen(Qt::NoPen);
      p.setBrush(ink);
      p.drawEllipse(top, 8, 8);
      p.setBrush(Qt::NoBrush);
      for (int i = 0; i < 3; ++i) {
        const double r = 20 + 16 * i;
        const QRectF box(top.x() - r, top.y() - r, 2 * r, 2 * r);
        p.setPen(QPen(ink, 6, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(box, -40 * 16, 80 * 16);
        p.drawArc(box, 140 * 16, 80 * 16);
      }
      break;
    }
    case Symbol::Serial: {
      QPainterPath shell;
      shell.moveTo(28, 40);
      shell.lineTo(152, 40);
      shell.lineTo(138, 96);
      shell.lineTo(42, 96);
      shell.closeSubpath();
      p.setPen(QPen(ink, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPath(shell);
      p.setPen(Qt::NoPen);
      p.setBrush(ink);
      for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(50 + 20 * i, 58), 6, 6);
      for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(60 + 20 * i, 80), 6, 6);
      p.setPen(QPen(ink, 7, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(90, 100), QPointF(90, 118));
      break;
    }
  }
}

QImage Glyph(Symbol s, const char* label, bool selected) {
  QImage img = NewImage(180, 180, Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient bg(0, 0, 0, 180);
  QColor ink;
  if (selected) {
    bg.setColorAt(0, QColor(0xff, 0xc2, 0x4d));
    bg.setColorAt(1, QColor(0xe8, 0x80, 0x0c));
    ink = Qt::white;
  } else {
    bg.setColorAt(0, QColor(0xf2, 0xf5, 0xf9));
    bg.setColorAt(1, QColor(0xd3, 0xdd, 0xea));
    ink = kInk;
  }
  p.setPen(QPen(selected ? QColor(0xb3, 0x5c, 0x00) : kInkLight, 3));
  p.setBrush(bg);
  p.drawRoundedRect(QRectF(2.5, 2.5, 175, 175), 18, 18);
  DrawSymbol(p, s, ink);
  p.setPen(ink);
  p.setFont(Font("Liberation Sans", 30, true));
  p.drawText(QRectF(0, 124, 180, 44), Qt::AlignCenter, QString::fromLatin1(label));
  return img;
}

QImage PinMap() {
  const int w = 440, h = 150;
  QImage img = NewImage(w, h, Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(QPen(kInkLight, 1));
  p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));

  // The connector face (female, seen from the front).
  QPainterPath shell;
  shell.moveTo(20, 45);
  shell.lineTo(180, 45);
  shell.lineTo(164, 115);
  shell.lineTo(36, 115);
  shell.closeSubpath();
  p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(QColor(0xe9, 0xee, 0xf5));
  p.drawPath(shell);
  p.setFont(Font("Liberation Sans", 12, true));
  const int used[] = {2, 3, 5, 7, 8};
  auto isUsed = [&](int pin) {
    for (int u : used)
      if (u == pin) return true;
    return false;
  };
  for (int pin = 1; pin <= 9; ++pin) {
    const bool upper = pin <= 5;
    const QPointF c = upper ? QPointF(44 + 28 * (pin - 1), 68) : QPointF(58 + 28 * (pin - 6), 94);
    p.setPen(QPen(kInk, 2));
    p.setBrush(isUsed(pin) ? QColor(0xe8, 0x80, 0x0c) : Qt::white);
    p.drawEllipse(c, 8, 8);
    p.setPen(kInk);
    p.drawText(QRectF(c.x() - 10, upper ? c.y() - 30 : c.y() + 9, 20, 18), Qt::AlignCenter,
               QString::number(pin));
  }
  p.setFont(Font("Liberation Sans", 14, true));
  p.drawText(QRectF(20, 8, 200, 22), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Serial pin map"));

  struct Row {
    const char* pin;
    const char* name;
    const char* role;
  };
  const Row rows[] = {
      {"2", "RXD", "data to the PC"}, {"3", "TXD", "data from the PC"},
      {"5", "GND", "signal ground"},  {"7", "RTS", "request to send"},
      {"8", "CTS", "clear to send"},
  };
  p.setFont(Font("Liberation Mono", 14, false));
  double y = 20;
  for (const Row& r : rows) {
    p.setPen(QColor(0xb3, 0x5c, 0x00));
    p.drawText(QPointF(212, y + 14), QString::fromLatin1(r.pin));
    p.setPen(kInk);
    p.drawText(QPointF(236, y + 14), QString::fromLatin1(r.name));
    p.setPen(Qt::darkGray);
    p.drawText(QPointF(280, y + 14), QString::fromLatin1(r.role));
    y += 24;
  }
  return img;
}

QImage About() {
  const int w = 349, h = 129;
  QImage img = NewImage(w, h, Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // Plain white at the left, where the window's labels lie over the picture.
  QLinearGradient bg(0, 0, w, 0);
  bg.setColorAt(0.0, Qt::white);
  bg.setColorAt(0.30, Qt::white);
  bg.setColorAt(1.0, QColor(0xc9, 0xdb, 0xf0));
  p.fillRect(img.rect(), bg);

  const QPointF mast(262, 46);
  for (int i = 0; i < 5; ++i) {
    const double r = 26 + 22 * i;
    QColor c = kInk;
    c.setAlpha(200 - 35 * i);
    p.setPen(QPen(c, 4, Qt::SolidLine, Qt::RoundCap));
    const QRectF box(mast.x() - r, mast.y() - r, 2 * r, 2 * r);
    p.drawArc(box, -35 * 16, 70 * 16);
    p.drawArc(box, 145 * 16, 70 * 16);
  }
  // The modem: a box with its antenna.
  p.setPen(QPen(kInk, 5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(mast, QPointF(mast.x(), 86));
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  p.drawEllipse(mast, 7, 7);
  QLinearGradient body(0, 84, 0, 118);
  body.setColorAt(0, QColor(0x3d, 0x6a, 0xa3));
  body.setColorAt(1, QColor(0x1f, 0x3b, 0x60));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(mast.x() - 46, 84, 92, 34), 6, 6);
  p.setBrush(QColor(0x7c, 0xe0, 0x6a));
  for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(mast.x() - 30 + 14 * i, 101), 3.5, 3.5);
  p.setBrush(QColor(0xff, 0xc2, 0x4d));
  p.drawEllipse(QPointF(mast.x() + 2, 101), 3.5, 3.5);
  p.setPen(QPen(QColor(0xc9, 0xdb, 0xf0), 2));
  for (int i = 0; i < 3; ++i)
    p.drawLine(QPointF(mast.x() + 16 + 7 * i, 94), QPointF(mast.x() + 16 + 7 * i, 108));
  p.setPen(kInk);
  p.setFont(Font("Liberation Sans", 11, true));
  p.drawText(QRectF(100, 106, 110, 18), Qt::AlignRight | Qt::AlignVCenter,
             QStringLiteral("LoRa modem setup"));
  return img;
}

// The icon on a 256-unit grid, scaled to size. Small sizes get fewer,
// thicker waves so the shape still reads at 16 pixels.
QImage Icon(int size) {
  QImage img = NewImage(size, size, Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 256.0, size / 256.0);
  const bool small = size <= 24;
  const double stroke = small ? 22 : 14;

  QLinearGradient tile(0, 0, 0, 256);
  tile.setColorAt(0, QColor(0x3d, 0x6a, 0xa3));
  tile.setColorAt(1, QColor(0x1f, 0x3b, 0x60));
  p.setPen(Qt::NoPen);
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);

  const QPointF mast(128, small ? 104 : 96);
  const int waves = small ? 1 : size <= 48 ? 2 : 3;
  for (int i = 0; i < waves; ++i) {
    const double r = (small ? 62 : 42) + 30 * i;
    QColor c(Qt::white);
    c.setAlpha(255 - 50 * i);
    p.setPen(QPen(c, stroke, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF box(mast.x() - r, mast.y() - r, 2 * r, 2 * r);
    p.drawArc(box, -35 * 16, 70 * 16);
    p.drawArc(box, 145 * 16, 70 * 16);
  }
  p.setPen(QPen(Qt::white, stroke, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(mast, QPointF(mast.x(), 170));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(mast, stroke * 1.1, stroke * 1.1);
  // The modem's body, in the colour of a selected section button.
  p.setBrush(QColor(0xff, 0xb3, 0x3a));
  p.drawRoundedRect(QRectF(58, 160, 140, small ? 64 : 56), 14, 14);
  if (!small) {
    p.setBrush(QColor(0x1f, 0x3b, 0x60));
    for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(84 + 24 * i, 188), 8, 8);
  }
  return img;
}

bool WriteJpeg(const QImage& image, const QString& path, int quality) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
  if (!out) return false;
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, out);
  cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
  cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.exists() && !QDir().mkpath(dir.path())) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  struct GlyphFile {
    const char* file;
    Symbol symbol;
    const char* label;
    bool selected;
  };
  // In the order of the window's image list: 0 Info, 1 Info selected,
  // 2 LoRa, 3 LoRa selected, 4 Serial, 5 Serial selected.
  const GlyphFile glyphs[] = {
      {"glyph0_info.png", Symbol::Info, "Info", false},
      {"glyph1_info_selected.png", Symbol::Info, "Info", true},
      {"glyph2_lora.png", Symbol::LoRa, "LoRa", false},
      {"glyph3_lora_selected.png", Symbol::LoRa, "LoRa", true},
      {"glyph4_serial.png", Symbol::Serial, "Serial", false},
      {"glyph5_serial_selected.png", Symbol::Serial, "Serial", true},
  };
  bool ok = true;
  for (const GlyphFile& g : glyphs)
    ok = Glyph(g.symbol, g.label, g.selected)
             .save(dir.filePath(QString::fromLatin1(g.file)), "PNG") &&
         ok;
  ok = PinMap().save(dir.filePath(QStringLiteral("pinmap.png")), "PNG") && ok;
  ok = WriteJpeg(About(), dir.filePath(QStringLiteral("velimo_about.jpg")), 90) && ok;
  // The hicolor theme's usual sizes; the package installs each in its own.
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    ok = Icon(size).save(dir.filePath(QStringLiteral("velimo_icon_%1.png").arg(size)), "PNG") && ok;
  if (!ok) {
    std::fprintf(stderr, "writing the artwork failed\n");
    return 1;
  }
  return 0;
}
