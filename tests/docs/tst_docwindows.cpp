// The documentation windows: captions, sizes, text controls and their contents.
#include "docwindows.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QtTest>
#include <memory>

namespace {

struct Expected {
  std::function<TDocForm*()> make;
  const char* caption;
  QSize size;
  bool scrollBar;
  QStringList mustMention;  // key figures, in the order the text gives them
};

QPlainTextEdit* MemoOf(TDocForm* f)
{
  auto memos = f->findChildren<QPlainTextEdit*>();
  return memos.size() == 1 ? memos.front() : nullptr;
}

const QString kContact = QStringLiteral("vexa-logger.example");

} // namespace

class TestDocWindows : public QObject {
  Q_OBJECT

  QList<Expected> windows()
  {
    return {
      {[] { return new TForm12; }, "Uso de este programa", {544, 375}, true,
       {"Archivos", "Configurar puerto serial", "PUERTO:", "BAUD RATE: 9600", "BITS DE DATOS: 8",
        "BITS DE STOP: 1", "PARIDAD: NONE", "CONTROL DE FLUJO: NONE", "/dev/ttyUSB0",
        "dmesg", "/dev/serial/by-id", "dialout", "Guardar config de puerto",
        "Guardar datos descargados", "Imprimir datos", "Salir", "ofset", "cero",
        "Abrir descarga", "4096", "1171", "Cerrar descarga", "12.", kContact}},
      {[] { return new TForm4; }, "Manual del equipo OSTREL", {542, 355}, true,
       {"TIPO", "VERSION", "garantía", "4 pilas", "\"AA\"", "POS1: 16 segundos",
        "POS2: 30 segundos", "POS3: 1 minuto", "POS4: 5 minutos", "POS5: 10 minutos",
        "POS6: 20 minutos", "POS7: 30 minutos", "POS8: 1 hora", "10 segundos", "roja",
        "posición cero", "2 años", "5,2 V", "-24,0", "-120,8", "10 bits", "-20 a +70 °C",
        "500 muestras", "16 Kbit", "32768 Hz", kContact}},
      {[] { return new TForm5; }, "Manual del equipo BRUMEL", {544, 375}, true,
       {"TIPO", "VERSION", "posición cero", "1000 muestras", "0 a 100 %", "estado sólido",
        kContact}},
      {[] { return new TForm6; }, "Manual del equipo SOLMET", {544, 375}, true,
       {"TIPO", "BNC", "30 minutos", "60 minutos", "5,0 V", "128 Kbit", "16 Kbit",
        "1000 muestras", "0 a 3800 µmol", kContact}},
      {[] { return new TForm9; }, "Heptel", {544, 375}, true,
       {"5 pilas", "128 Kbit", "6 sensores", "canal 7", "POS1: 60 minutos", "POS2: 30 minutos",
        "POS3: 1 minuto", "POS4: 15 segundos", "cable rojo", "\"-\"", "6,8 V", "1170 muestras",
        kContact}},
      {[] { return new TForm7; }, "Consideraciones acerca del sensor LM35Z", {544, 375}, true,
       {"estado sólido", "10 mV", "enterrado", "sumergirse", "150 mm", "100 mm", "50 mm",
        "5 mm"}},
      {[] { return new TForm2; }, "Consideraciones acerca del sensor de humedad relativa",
       {540, 375}, true, {"capacitivo", "7,8 por 6,8 mm", "800 mV", "4 V", "intemperie", "luz"}},
      {[] { return new TForm3; }, "Consideraciones acerca del uso del sensor de  radiacion",
       {544, 375}, true, {"GaAsP", "400 y 760 nm", "amplifica", "aluminio", "difusora", "PAR",
                          "nivelado", "sol directo"}},
      {[] { return new TForm10; }, "Consideraciones acerca de termocuplas", {544, 375}, true,
       {"junta fría", "40 microvoltios", "amplifica", "rápido", "sol", "2 grados"}},
      {[] { return new TForm8; }, "Consideraciones acerca de pilas", {544, 375}, false,
       {"alcalinas", "4 pilas", "5 pilas", "2 años", "datos erróneos"}},
      {[] { return new TForm14; }, "Contactarnos...", {268, 255}, true,
       {"gratuita", "Vexa-Logger", "Calle", "ventas@vexa-logger.example",
        "www.vexa-logger.example"}},
    };
  }

private slots:
  // Caption, size, a single read-only text control with the right scroll bar,
  // created hidden.
  void frameAndControl()
  {
    for (const Expected& e : windows()) {
      std::unique_ptr<TDocForm> f(e.make());
      const QString caption = QString::fromUtf8(e.caption);
      QCOMPARE(f->windowTitle(), caption);
      QCOMPARE(f->size(), e.size);
      QVERIFY2(!f->isVisible(), e.caption);
      QPlainTextEdit* memo = MemoOf(f.get());
      QVERIFY2(memo, e.caption);
      QVERIFY2(memo->isReadOnly(), e.caption);
      QVERIFY2(memo->textInteractionFlags() & Qt::TextSelectableByMouse, e.caption);
      QCOMPARE(memo->verticalScrollBarPolicy(),
               e.scrollBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
      f->show();
      QVERIFY(QTest::qWaitForWindowExposed(f.get()));
      QCOMPARE(f->size(), e.size);
      // the text fills the whole client area
      QCOMPARE(memo->geometry(), f->rect());
    }
  }

  // The names the rest of the program uses for the text control.
  void memberNames()
  {
    TForm4 f4;
    QCOMPARE(f4.memo1, MemoOf(&f4));
    QCOMPARE(f4.memo1->objectName(), QStringLiteral("memo1"));
    TForm12 f12;
    QCOMPARE(f12.Memo1, MemoOf(&f12));
    QCOMPARE(f12.Memo1->objectName(), QStringLiteral("Memo1"));
  }

  // Every point the reader needs is there, in order, with its figures.
  void textsCoverTheirPoints()
  {
    for (const Expected& e : windows()) {
      std::unique_ptr<TDocForm> f(e.make());
      const QString text = MemoOf(f.get())->toPlainText();
      QVERIFY2(text.size() > 200, e.caption);
      QCOMPARE(text, f->text());
      // decoded as UTF-8: no replacement characters, accents intact
      QVERIFY2(!text.contains(QChar::ReplacementCharacter), e.caption);
      qsizetype at = 0;
      for (const QString& point : e.mustMention) {
        const qsizetype found = text.indexOf(point, at);
        QVERIFY2(found >= 0, qPrintable(QStringLiteral("%1: \"%2\" missing or out of order")
                                            .arg(QString::fromUtf8(e.caption), point)));
        at = found + point.size();
      }
    }
  }

  // The usage guide lists the twelve download steps, numbered 1 to 12.
  void usageGuideHasTwelveSteps()
  {
    TForm12 f;
    const QString text = f.Memo1->toPlainText();
    const qsizetype start = text.indexOf(QStringLiteral("PROCEDIMIENTO DE DESCARGA"));
    QVERIFY(start >= 0);
    qsizetype at = start;
    for (int step = 1; step <= 12; ++step) {
      const QRegularExpression re(QStringLiteral("\\n *%1\\. ").arg(step));
      const auto m = re.match(text, at);
      QVERIFY2(m.hasMatch(), qPrintable(QStringLiteral("step %1").arg(step)));
      at = m.capturedEnd();
    }
    QVERIFY(!QRegularExpression(QStringLiteral("\\n *13\\. ")).match(text, start).hasMatch());
  }

  // Fonts and colours: readable text on the light background, the contact
  // window bold and small on silver.
  void fontsAndColours()
  {
    TForm7 f7;
    QCOMPARE(f7.Memo1->font().pixelSize(), 16);
    QVERIFY(!f7.Memo1->font().bold());
    const QColor back = f7.Memo1->palette().color(QPalette::Base);
    const QColor fore = f7.Memo1->palette().color(QPalette::Text);
    QCOMPARE(back, QApplication::palette().color(QPalette::Inactive, QPalette::Window));
    // the text must stay legible on it
    QVERIFY(std::abs(back.lightness() - fore.lightness()) > 100);

    TForm14 f14;
    QCOMPARE(f14.Memo1->font().pixelSize(), 11);
    QVERIFY(f14.Memo1->font().bold());
    QCOMPARE(f14.Memo1->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));
    QCOMPARE(f14.minimumSize(), f14.maximumSize());
  }

  // Shown centred and at its designed size; closing only hides; the user's
  // scroll position and placement survive hide and show.
  void lifecycle()
  {
    TForm5 f;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const QRect screen = f.screen()->availableGeometry();
    QVERIFY(qAbs(f.frameGeometry().center().x() - screen.center().x()) <= 2);
    QVERIFY(qAbs(f.frameGeometry().center().y() - screen.center().y()) <= 2);
    QCOMPARE(f.size(), QSize(544, 375));

    QScrollBar* bar = f.Memo1->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum() / 2);
    const int scrolled = bar->value();
    f.move(f.pos() + QPoint(30, 20));
    const QPoint moved = f.pos();

    QVERIFY(f.close());
    QVERIFY(!f.isVisible());
    QVERIFY(!f.testAttribute(Qt::WA_DeleteOnClose));
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QCOMPARE(bar->value(), scrolled);
    // centring happens on the first showing only
    QCOMPARE(f.pos(), moved);
  }
};

QTEST_MAIN(TestDocWindows)
#include "tst_docwindows.moc"
