// The chart window: set-up per model against the model tables, check box
// persistence, the stop at a bad cell, mouse zoom/pan/undo on the offscreen
// view, and the tool bar with its small windows.

#include "chartdialogs.h"
#include "chartform.h"
#include "errorbox.h"
#include "errors.h"
#include "forms.h"
#include "numberformat.h"
#include "outputtestkit.h"
#include "uikit.h"

#include <QCheckBox>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QChart>
#include <QGroupBox>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

using dz::ChartAxis;

namespace {

struct Expect {
  const char* Title;
  const char* LeftTitle;
  double Min;
  double Max;
  int Series;
  int Rows;
  const char* S1;
  const char* S2;
};

// The model tables of the chart, written out again independently.
const Expect kExpect[9] = {
  {"2 CANALES DE TEMPERATURA", "Temperatura", -21, 70, 2, 512, "Canal 1", "Canal 2"},
  {"2 CANALES DE TEMPERATURA", "Temperatura", -41, 70, 2, 512, "Canal 1", "Canal 2"},
  {"7 CANALES DE TEMPERATURA CON TERMOCUPLAS", "Temperatura", -21, 70, 7, 1170, "Ref.", "Canal 1"},
  {"7 CANALES DE TEMPERATURA CON LM35Z", "Temperatura", 0, 105, 7, 1170, "Ref.", "Canal 1"},
  {"1 CANAL DE RADIACION SOLAR PAR", "uMOL M-2 S-1", 0, 2800, 1, 1024, "PAR", "Canal 1"},
  {"1 CANAL DE HUMEDAD RELATIVA", "Hº Rº", 0, 100, 1, 1024, "Hº Rº", "Canal 1"},
  {"1 CANAL DE HUMEDAD RELATIVA", "Hº Rº", 0, 100, 1, 1024, "Hº Rº", "Canal 1"},
  {"1 CANAL DE MILIVOLTIOS", "Milivoltios", 0, 1024, 1, 1024, "mV", "Canal 1"},
  {"1 CANAL DE TEMPERATURA", "Temperatura", -21, 70, 1, 1024, "Canal 1", "Canal 1"},
};

double CellValue(const dz::CellGrid& g, int c, int r)
{
  QString t = QString::fromStdString(g.Cell(c, r));
  return t.replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
}

void CheckFill(const dz::ChartEngine& chart, const dz::CellGrid& grid, int series, int points)
{
  QCOMPARE(chart.PointCount(series), points);
  const QList<QPointF> p = chart.Points(series);
  for (int r : {1, 2, points / 2, points}) {
    QCOMPARE(p[r - 1].x(), double(r - 1));
    QCOMPARE(p[r - 1].y(), CellValue(grid, series, r));
  }
  // What is drawn is what is held.
  QCOMPARE(chart.Series(series)->count(), points);
}

} // namespace

class TestChart : public QObject {
  Q_OBJECT

private slots:
  void init()
  {
    m_source = std::make_unique<dztest::TestSource>();
    m_form = std::make_unique<Tform11>(*m_source);
    form11 = m_form.get();
    dz::RegisterForm(m_form.get());
  }

  void cleanup()
  {
    form11 = nullptr;
    m_form.reset();
  }

  void showingRunsTheStartUpActivation()
  {
    dz::ProgramNumberFormat() = dz::NumberFormat{'.', ','};
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Gráfico, vista preliminar"));
    QCOMPARE(m_form->size(), QSize(636, 433));
    QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
    QVERIFY(m_form->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(m_form->windowFlags() & Qt::WindowMaximizeButtonHint));
    m_form->show();
    QTRY_COMPARE(dz::ProgramNumberFormat().DecimalSeparator, ',');
    QCOMPARE(dz::ProgramNumberFormat().ThousandSeparator, '.');
    // No model: the form's own chart stays.
    const dz::ChartEngine& chart = *m_form->Chart1;
    QCOMPARE(chart.Title(), QStringLiteral("Grafico de temperatura en función del tiempo"));
    QCOMPARE(chart.AxisTitle(ChartAxis::Bottom), QStringLiteral("Tiempo"));
    QCOMPARE(chart.AxisTitle(ChartAxis::Left), QStringLiteral("Temperatura"));
    QCOMPARE(chart.Axis(ChartAxis::Left), (dz::AxisState{-41, 70, false}));
    QCOMPARE(chart.DrawnRange(ChartAxis::Left), qMakePair(-41.0, 70.0));
    QVERIFY(chart.Axis(ChartAxis::Bottom).Automatic);
    QCOMPARE(m_form->GroupBox1->title(), QStringLiteral("   Series"));
    // The design's palette, series by series: line, and its check box's text
    // (the sixth box keeps the window's own text colour).
    const QColor lines[] = {QColor(255, 0, 0), QColor(0, 128, 0), QColor(255, 255, 0), QColor(0, 0, 255),
                            QColor(255, 0, 255), QColor(64, 0, 64), QColor(128, 255, 0)};
    const QColor texts[] = {QColor(255, 0, 0), QColor(0, 128, 0), QColor(255, 255, 0), QColor(0, 0, 255),
                            QColor(255, 0, 255), m_form->palette().color(QPalette::WindowText), QColor(0, 255, 0)};
    for (int n = 1; n <= 7; ++n) {
      QVERIFY(m_form->CheckBox(n)->isChecked());
      QVERIFY(chart.SeriesVisible(n));
      QCOMPARE(chart.Series(n)->pen().width(), 2);
      QCOMPARE(chart.Series(n)->pen().color(), lines[n - 1]);
      QCOMPARE(m_form->CheckBox(n)->palette().color(QPalette::WindowText), texts[n - 1]);
    }
    QStringList buttons;
    for (QToolButton* b : {m_form->ToolButton1, m_form->ToolButton2, m_form->ToolButton6, m_form->ToolButton3, m_form->ToolButton4})
      buttons << b->text();
    QCOMPARE(buttons, (QStringList{"Imprimir", "Copiar", "Regresar", "Zoom", "Ejes"}));
    // Every later activation runs it again: a model chosen meanwhile is drawn.
    dztest::FillGrid(m_source->Cells, 2, 512);
    m_source->Model = 0;
    QWidget main;
    dz::RegisterForm(&main);
    main.show();
    main.activateWindow();
    QTRY_VERIFY(main.isActiveWindow());
    m_form->hide();
    dz::ShowForm(m_form.get());
    QTRY_COMPARE(chart.PointCount(1), 512);
  }

  void setUpFollowsModelTable_data()
  {
    QTest::addColumn<int>("model");
    for (int m = 0; m < 9; ++m)
      QTest::addRow("model %d", m) << m;
  }

  void setUpFollowsModelTable()
  {
    QFETCH(int, model);
    const Expect& e = kExpect[model];
    dztest::FillGrid(m_source->Cells, 7, 1170);
    m_source->Model = model;
    m_form->FormActivate();
    const dz::ChartEngine& chart = *m_form->Chart1;

    QCOMPARE(chart.Title(), QString::fromUtf8(e.Title));
    QCOMPARE(chart.AxisTitle(ChartAxis::Left), QString::fromUtf8(e.LeftTitle));
    QCOMPARE(chart.AxisTitle(ChartAxis::Bottom), QStringLiteral("Muestra número (tiempo)"));
    QCOMPARE(chart.Axis(ChartAxis::Left), (dz::AxisState{e.Min, e.Max, false}));
    QCOMPARE(chart.DrawnRange(ChartAxis::Left), qMakePair(e.Min, e.Max));
    QCOMPARE(chart.LabelIncrement(ChartAxis::Left), 5.0);
    // The bottom maximum is stored, the drawing follows the points.
    QCOMPARE(chart.Axis(ChartAxis::Bottom).Maximum, double(e.Rows));
    QVERIFY(chart.Axis(ChartAxis::Bottom).Automatic);
    QCOMPARE(chart.DrawnRange(ChartAxis::Bottom), qMakePair(0.0, double(e.Rows - 1)));

    for (int n = 1; n <= 7; ++n) {
      QCOMPARE(chart.SeriesVisible(n), n <= e.Series);
      if (n <= e.Series)
        CheckFill(chart, m_source->Cells, n, e.Rows);
      else
        QCOMPARE(chart.PointCount(n), 0);
    }
    QCOMPARE(chart.SeriesTitle(1), QString::fromUtf8(e.S1));
    QCOMPARE(chart.SeriesTitle(2), QString::fromUtf8(e.S2));
    for (int n = 3; n <= 7; ++n)
      QCOMPARE(chart.SeriesTitle(n), QStringLiteral("Canal %1").arg(n - 1));

    const bool several = e.Series > 1;
    QCOMPARE(chart.LegendVisible(), several);
    QCOMPARE(m_form->GroupBox1->isVisibleTo(m_form.get()), several);
    if (e.Series == 2) {
      QCOMPARE(m_form->CheckBox1->text(), QStringLiteral("Canal1"));
      QCOMPARE(m_form->CheckBox2->text(), QStringLiteral("Canal2"));
    } else if (e.Series == 7) {
      QCOMPARE(m_form->CheckBox1->text(), QStringLiteral("Ref."));
      QCOMPARE(m_form->CheckBox2->text(), QStringLiteral("Canal1"));
    }
    if (several)
      for (int n = 1; n <= 7; ++n)
        QCOMPARE(m_form->CheckBox(n)->isVisibleTo(m_form.get()), n <= e.Series);
    for (int n = 3; n <= 7; ++n)
      QCOMPARE(m_form->CheckBox(n)->text(), QStringLiteral("Canal %1").arg(n - 1));
  }

  void ntcKeepsTheLeftMinimumItFinds()
  {
    dztest::FillGrid(m_source->Cells, 7, 1170);
    const std::pair<int, double> before[] = {{4, 0}, {0, -21}, {2, -21}, {8, -21}, {3, 0}, {7, 0}};
    for (auto [previous, minimum] : before) {
      m_source->Model = previous;
      m_form->FormActivate();
      m_source->Model = 1;
      m_form->FormActivate();
      QCOMPARE(m_form->Chart1->DrawnRange(ChartAxis::Left), qMakePair(minimum, 70.0));
    }
  }

  void checkBoxesPersistAcrossModels()
  {
    dztest::FillGrid(m_source->Cells, 7, 1170);
    dz::ChartEngine& chart = *m_form->Chart1;
    // CheckBox1 unchecked in a two-channel view: a one-channel chart draws nothing.
    m_source->Model = 0;
    m_form->FormActivate();
    m_form->CheckBox1->click();
    QVERIFY(!chart.SeriesVisible(1));
    QCOMPARE(chart.PointCount(1), 512); // points and axes untouched by the click
    m_source->Model = 5;
    m_form->FormActivate();
    for (int n = 1; n <= 7; ++n)
      QVERIFY(!chart.SeriesVisible(n));
    QCOMPARE(chart.PointCount(1), 1024);
    m_form->CheckBox1->click();

    // CheckBox3 unchecked in a seven-channel view stays so on another one.
    m_source->Model = 2;
    m_form->FormActivate();
    m_form->CheckBox3->click();
    const auto left = chart.DrawnRange(ChartAxis::Left);
    QVERIFY(!chart.SeriesVisible(3));
    QCOMPARE(chart.DrawnRange(ChartAxis::Left), left);
    m_source->Model = 3;
    m_form->FormActivate();
    QVERIFY(!chart.SeriesVisible(3));
    QVERIFY(chart.SeriesVisible(4));
    // A two-channel view hides it too, and its caption survives.
    m_source->Model = 1;
    m_form->FormActivate();
    QCOMPARE(m_form->CheckBox3->text(), QStringLiteral("Canal 2"));
    QVERIFY(!m_form->CheckBox3->isChecked());
    m_source->Model = 3;
    m_form->FormActivate();
    QVERIFY(!chart.SeriesVisible(3));
    // It comes back only through its box.
    m_form->CheckBox3->click();
    QVERIFY(chart.SeriesVisible(3));
    QCOMPARE(chart.PointCount(3), 1170);
    QCOMPARE(m_form->CheckBox1->text(), QStringLiteral("Ref."));
  }

  void badCellStopsTheFill()
  {
    dztest::FillGrid(m_source->Cells, 7, 1170);
    m_source->Model = 3;
    m_form->FormActivate();
    const dz::CellGrid full = m_source->Cells;
    // Now only a two-channel download stands in the grid.
    for (int c = 1; c <= 7; ++c)
      for (int r = 1; r <= 1170; ++r)
        if (c > 2 || r > 512)
          m_source->Cells.SetCell(c, r, "");
    m_source->Model = 2;
    try {
      m_form->FormActivate();
      QFAIL("an empty cell was charted");
    } catch (const dz::ConvertError& e) {
      QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("'' is not a valid floating point value"));
    }
    const dz::ChartEngine& chart = *m_form->Chart1;
    QCOMPARE(chart.Title(), QStringLiteral("7 CANALES DE TEMPERATURA CON TERMOCUPLAS")); // set-up done before
    CheckFill(chart, m_source->Cells, 1, 512);
    for (int n = 2; n <= 7; ++n)
      CheckFill(chart, full, n, 1170); // not cleared

    // A value with a point instead of the comma.
    dztest::FillGrid(m_source->Cells, 2, 512);
    m_source->Cells.SetCell(2, 10, "23.4");
    m_source->Model = 0;
    try {
      m_form->FormActivate();
      QFAIL("a value with a point was charted");
    } catch (const dz::ConvertError& e) {
      QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("'23.4' is not a valid floating point value"));
    }
    CheckFill(chart, m_source->Cells, 1, 512);
    QCOMPARE(chart.PointCount(2), 9);
  }

  void failedActivationShowsOneErrorBox()
  {
    // Through the application's own error handling, as in the program.
    dztest::FillGrid(m_source->Cells, 2, 512);
    m_source->Model = 3; // a seven-channel chart of a two-channel grid
    QStringList boxes;
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxes << box->text();
        box->accept();
      }
    });
    closer.start();
    m_form->show();
    QTRY_COMPARE(boxes.size(), 1);
    // The box closed: a window manager hands the focus back to the window it
    // came from. That is no new activation (else the same error would come
    // back for ever).
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    m_form->activateWindow();
    QTest::qWait(300);
    QCOMPARE(boxes, QStringList{QStringLiteral("'' is not a valid floating point value.")});
    QCOMPARE(m_form->Chart1->PointCount(1), 512);
    QVERIFY(m_form->isVisible());
    // A real return from another of the program's windows sets it up again
    // (and fails again).
    QWidget other;
    dz::RegisterForm(&other);
    other.show();
    other.activateWindow();
    QTRY_VERIFY(other.isActiveWindow());
    dz::ShowForm(m_form.get());
    QTRY_COMPARE(boxes.size(), 2);
    QTest::qWait(300);
    QCOMPARE(boxes.size(), 2);
  }

  void fineZoomUsesTheCommaAndOutlivesOtherApplications()
  {
    TForm19 help;
    Form19 = &help;
    dz::RegisterForm(&help);
    dztest::FillGrid(m_source->Cells, 7, 1170);
    m_source->Model = 0;
    m_form->show();
    QTRY_COMPARE(m_form->Chart1->PointCount(1), 512);
    dz::ChartEngine& chart = *m_form->Chart1;
    chart.ZoomTo(QRectF(QPointF(100, 0), QPointF(101, 50)));
    const auto bottom = chart.DrawnRange(ChartAxis::Bottom);

    // A fine zoom labels the samples with the program's decimal comma.
    const auto labels = [&chart] {
      QStringList numbers;
      const QRegularExpression number(QStringLiteral("^-?\\d+([.,]\\d+)?$"));
      for (QGraphicsItem* item : chart.Chart()->scene()->items())
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text != nullptr && text->isVisible())
          if (number.match(text->toPlainText()).hasMatch())
            numbers << text->toPlainText();
      return numbers;
    };
    QTRY_VERIFY2(labels().size() >= 5 && labels().filter(QStringLiteral("100")).size() >= 3, qPrintable(labels().join(' ')));
    qDebug() << labels();
    QVERIFY2(labels().filter(QStringLiteral(",")).size() >= 2, qPrintable(labels().join(' ')));
    QVERIFY2(labels().filter(QStringLiteral(".")).isEmpty(), qPrintable(labels().join(' ')));

    // A window that is none of the program's stands for another application:
    // going there and back sets nothing up again, the zoom stays.
    m_source->Model = 3;
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QTRY_VERIFY(elsewhere.isActiveWindow());
    m_form->activateWindow();
    QTRY_VERIFY(m_form->isActiveWindow());
    QTest::qWait(50);
    QVERIFY(chart.IsZoomed());
    QCOMPARE(chart.DrawnRange(ChartAxis::Left), qMakePair(0.0, 50.0));
    QCOMPARE(chart.DrawnRange(ChartAxis::Bottom), bottom);
    QCOMPARE(chart.Title(), QStringLiteral("2 CANALES DE TEMPERATURA"));

    // Coming back from another of the program's windows sets it up again.
    m_form->ToolButton3->click();
    QTRY_VERIFY(help.isActiveWindow());
    m_form->activateWindow();
    QTRY_COMPARE(chart.Title(), QStringLiteral("7 CANALES DE TEMPERATURA CON LM35Z"));
    QCOMPARE(chart.DrawnRange(ChartAxis::Left), qMakePair(0.0, 105.0));
    Form19 = nullptr;
  }

  void outOfRangeValuesDoNotWidenTheLeftAxis()
  {
    dztest::FillGrid(m_source->Cells, 2, 512);
    m_source->Cells.SetCell(1, 7, "5000,0");
    m_source->Cells.SetCell(2, 9, "-900,0");
    m_source->Model = 0;
    m_form->FormActivate();
    QCOMPARE(m_form->Chart1->DrawnRange(ChartAxis::Left), qMakePair(-21.0, 70.0));
  }

  void mouseZoomPanAndUndo()
  {
    dztest::FillGrid(m_source->Cells, 2, 512);
    m_source->Model = 0;
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QTRY_COMPARE(m_form->Chart1->PointCount(1), 512);
    dz::ChartEngine& chart = *m_form->Chart1;
    QWidget* vp = chart.View()->viewport();

    // Zoom: left drag from top-left to bottom-right around samples 100..200, 0..50.
    const QPoint a = chart.PositionOf({100, 50});
    const QPoint b = chart.PositionOf({200, 0});
    QTest::mousePress(vp, Qt::LeftButton, {}, a);
    QTest::mouseMove(vp, (a + b) / 2);
    QTest::mouseMove(vp, b);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, b);
    QVERIFY(chart.IsZoomed());
    auto [x0, x1] = chart.DrawnRange(ChartAxis::Bottom);
    auto [y0, y1] = chart.DrawnRange(ChartAxis::Left);
    const double px = 512.0 / chart.Chart()->plotArea().width(); // one pixel in samples
    const double py = 91.0 / chart.Chart()->plotArea().height();
    QVERIFY2(qAbs(x0 - 100) < 2 * px && qAbs(x1 - 200) < 2 * px, qPrintable(QStringLiteral("%1..%2").arg(x0).arg(x1)));
    QVERIFY2(qAbs(y0 - 0) < 2 * py && qAbs(y1 - 50) < 2 * py, qPrintable(QStringLiteral("%1..%2").arg(y0).arg(y1)));
    QVERIFY(!chart.Axis(ChartAxis::Bottom).Automatic);
    QVERIFY(!chart.Axis(ChartAxis::Left).Automatic);

    // Pan: the right button drags the drawing; moving it right shows earlier samples.
    const QPoint from = vp->rect().center();
    const QPoint to = from + QPoint(40, -30);
    QTest::mousePress(vp, Qt::RightButton, {}, from);
    QTest::mouseMove(vp, to);
    QTest::mouseRelease(vp, Qt::RightButton, {}, to);
    auto [u0, u1] = chart.DrawnRange(ChartAxis::Bottom);
    auto [v0, v1] = chart.DrawnRange(ChartAxis::Left);
    QVERIFY2(u0 < x0 && u1 < x1, qPrintable(QStringLiteral("%1..%2").arg(u0).arg(u1)));
    QVERIFY(qAbs((u1 - u0) - (x1 - x0)) < 1e-6); // a pan keeps the width
    QVERIFY2(v0 < y0 && v1 < y1, qPrintable(QStringLiteral("%1..%2").arg(v0).arg(v1)));

    // Coming back to the window: the left axis gets the model's range, the
    // bottom keeps its zoomed minimum and gets the row count as maximum.
    m_form->FormActivate();
    QCOMPARE(chart.DrawnRange(ChartAxis::Left), qMakePair(-21.0, 70.0));
    QCOMPARE(chart.DrawnRange(ChartAxis::Bottom), qMakePair(u0, 512.0));

    // A click is no gesture.
    QTest::mouseClick(vp, Qt::LeftButton, {}, from);
    QCOMPARE(chart.DrawnRange(ChartAxis::Bottom), qMakePair(u0, 512.0));

    // Undo: a left drag from right to left gives back the scales from before the zoom.
    QTest::mousePress(vp, Qt::LeftButton, {}, b);
    QTest::mouseMove(vp, a);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, a);
    QVERIFY(!chart.IsZoomed());
    QVERIFY(chart.Axis(ChartAxis::Bottom).Automatic);
    QCOMPARE(chart.DrawnRange(ChartAxis::Bottom), qMakePair(0.0, 511.0));
    QCOMPARE(chart.DrawnRange(ChartAxis::Left), qMakePair(-21.0, 70.0));
    QVERIFY(!chart.Axis(ChartAxis::Left).Automatic);
  }

  void labelStepNeverBelowTheIncrement()
  {
    dztest::FillGrid(m_source->Cells, 7, 1170);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    for (int model : {0, 3, 4, 7}) {
      m_source->Model = model;
      m_form->FormActivate();
      const double step = m_form->Chart1->DrawnLabelStep(ChartAxis::Left);
      const double span = kExpect[model].Max - kExpect[model].Min;
      QVERIFY2(step >= 5 && std::fmod(step, 5) == 0, qPrintable(QString::number(step)));
      // Labels stay readable: no more than one per 10 pixels of axis.
      QVERIFY(span / step <= m_form->Chart1->Chart()->plotArea().height() / 10);
    }
  }

  void toolBarAndSmallWindows()
  {
    TForm15 print;
    TForm16 axes;
    TForm19 help;
    Form15 = &print;
    Form16 = &axes;
    Form19 = &help;
    dz::RegisterForm(&print);
    dz::RegisterForm(&axes);
    dz::RegisterForm(&help);
    dztest::FillGrid(m_source->Cells, 2, 512);
    m_source->Model = 0;
    m_form->show();
    QTRY_COMPARE(m_form->Chart1->PointCount(1), 512);

    m_form->ToolButton1->click();
    QVERIFY(print.isVisible());
    QVERIFY(!print.isModal());
    QCOMPARE(print.windowTitle(), QStringLiteral("Imprimir"));
    QCOMPARE(print.ItemIndex(), 1);
    QCOMPARE(print.RadioApaisado->text(), QStringLiteral("Apaisado"));
    QCOMPARE(print.RadioRetrato->text(), QStringLiteral("Retrato"));
    QCOMPARE(print.BitBtn1->text(), QStringLiteral("SI"));
    QVERIFY(print.BitBtn1->isDefault());
    QTest::keyClick(&print, Qt::Key_Escape);
    QVERIFY(!print.isVisible());
    m_form->ToolButton1->click();
    print.BitBtn2->click();
    QVERIFY(!print.isVisible());

    m_form->ToolButton3->click();
    QVERIFY(help.isVisible());
    QCOMPARE(help.windowTitle(), QStringLiteral("Ayuda para ampliación de gráfico"));
    QCOMPARE(help.Line(1)->text(), QStringLiteral("Puede hacer una ampliación generando un rectángulo en la zona que le interesa."));
    QCOMPARE(help.Line(4)->text(), QStringLiteral("El botón derecho presionado le permitirá mover el gráfico."));

    m_form->ToolButton4->click();
    QVERIFY(axes.isVisible());
    QCOMPARE(axes.windowTitle(), QStringLiteral("Ajuste de los ejes"));
    QCOMPARE(axes.TrackBar1->value(), 1170);
    QCOMPARE(axes.TrackBar2->value(), 512);
    QCOMPARE(qMakePair(axes.TrackBar1->minimum(), axes.TrackBar1->maximum()), qMakePair(80, 3000));
    QCOMPARE(qMakePair(axes.TrackBar2->minimum(), axes.TrackBar2->maximum()), qMakePair(100, 1170));
    // What the axis window sets holds while the user goes back to the chart,
    // copies and prints it, until the chart is set up again.
    QTRY_VERIFY(axes.isActiveWindow());
    axes.TrackBar1->setValue(300);
    axes.TrackBar2->setValue(800);
    QCOMPARE(m_form->Chart1->DrawnRange(ChartAxis::Left), qMakePair(-21.0, 300.0));
    QCOMPARE(m_form->Chart1->DrawnRange(ChartAxis::Bottom), qMakePair(0.0, 800.0));
    m_form->activateWindow(); // a click on the chart
    QTRY_VERIFY(m_form->isActiveWindow());
    QTest::qWait(50);
    m_form->ToolButton2->click(); // Copiar
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    QTemporaryDir dir;
    pdf.setOutputFileName(dir.filePath(QStringLiteral("chart.pdf")));
    m_form->Chart1->Print(pdf, QPageLayout::Landscape);
    QCOMPARE(m_form->Chart1->DrawnRange(ChartAxis::Left), qMakePair(-21.0, 300.0));
    QCOMPARE(m_form->Chart1->DrawnRange(ChartAxis::Bottom), qMakePair(0.0, 800.0));
    // A zoom and its undo come back to the axis window's setting.
    m_form->Chart1->ZoomTo(QRectF(QPointF(10, 0), QPointF(50, 20)));
    QCOMPARE(m_form->Chart1->DrawnRange(ChartAxis::Bottom), qMakePair(10.0, 50.0));
    m_form->Chart1->Unzoom();
    QCOMPARE(m_form->Chart1->DrawnRange(ChartAxis::Bottom), qMakePair(0.0, 800.0));
    // Set up again (coming back from the zoom help): the model's axes.
    help.activateWindow();
    QTRY_VERIFY(help.isActiveWindow());
    m_form->activateWindow();
    QTRY_COMPARE(m_form->Chart1->DrawnRange(ChartAxis::Left), qMakePair(-21.0, 70.0));
    QVERIFY(m_form->Chart1->Axis(ChartAxis::Bottom).Automatic);
    QCOMPARE(m_form->Chart1->DrawnRange(ChartAxis::Bottom), qMakePair(0.0, 511.0));

    m_form->ToolButton6->click();
    QVERIFY(!m_form->isVisible());
    QVERIFY(help.isVisible()); // the small windows stay until closed
    QVERIFY(axes.isVisible());
    Form15 = nullptr;
    Form16 = nullptr;
    Form19 = nullptr;
  }

private:
  std::unique_ptr<dztest::TestSource> m_source;
  std::unique_ptr<Tform11> m_form;
};

int main(int argc, char** argv)
{
  dz::Application app(argc, argv);
  TestChart test;
  return QTest::qExec(&test, argc, argv);
}
#include "tst_chart.moc"
