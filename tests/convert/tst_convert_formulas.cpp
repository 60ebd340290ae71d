// Each model's formula on the documented example words, the three
// value-word spellings, and the model table. One slot per model.

#include "conversion.h"
#include "errors.h"
#include "formatfixed.h"
#include "models.h"
#include "textsyntax.h"

#include <QTest>

#include <cfloat>
#include <cmath>
#include <limits>

using namespace dz;

class TestConvertFormulas : public QObject {
  Q_OBJECT

private slots:
  void wordSpellings();
  void wordArithmeticWraps();

  void lm35Models0And8_data();
  void lm35Models0And8();
  void ntcModel1_data();
  void ntcModel1();
  void thermocoupleReferenceModel2_data();
  void thermocoupleReferenceModel2();
  void thermocoupleChannelModel2_data();
  void thermocoupleChannelModel2();
  void thermocoupleUsesSingleReference();
  void lm335Model3_data();
  void lm335Model3();
  void radiationModel4_data();
  void radiationModel4();
  void radiationFailures();
  void humidityV1Model5_data();
  void humidityV1Model5();
  void humidityV2Model6_data();
  void humidityV2Model6();
  void millivoltsModel7_data();
  void millivoltsModel7();
  void extremeWordsNeverFail();
  void narrowing();

  void modelTable();
};

namespace {
QString Cell(float v, int P, int D) { return QString::fromStdString(FormatFixed(v, P, D, ',')); }

void WordRows(std::initializer_list<std::pair<int, const char*>> rows)
{
  QTest::addColumn<int>("w");
  QTest::addColumn<QString>("text");
  for (const auto& [w, text] : rows)
    QTest::addRow("W=%d", w) << w << QString::fromUtf8(text);
}
} // namespace

void TestConvertFormulas::wordSpellings()
{
  QCOMPARE(FourLineWord(1, 0, 0, 0), 256);
  QCOMPARE(FourLineWord(0, 12, 0, 0), 1200); // pieces are not range-tested
  QCOMPARE(FourLineWord(0, 2, 4, 0), 240);
  QCOMPARE(FourLineWord(3, 2, 5, 5), 1023);
  QCOMPARE(FourLineWord(-1, 0, 0, 0), -256);
  QCOMPARE(FourCharWord(0, 2, 5, 0), 250);
  QCOMPARE(FourCharWord(3, 2, 5, 5), 1023);
  QCOMPARE(FourCharWord(9, 9, 9, 9), 9 * 256 + 999);
  QCOMPARE(SixCharWord(0, 1, 0, 1, 7, 1), 2731);
  QCOMPARE(SixCharWord(9, 1, 0, 1, 7, 1), 2731); // the first character does not count
  QCOMPARE(SixCharWord(0, 1, 1, 1, 6, 5), 2981);
  QCOMPARE(SixCharWord(0, 9, 9, 9, 9, 9), 99 * 256 + 999);
}

void TestConvertFormulas::wordArithmeticWraps()
{
  QCOMPARE(FourLineWord(2147483647, 0, 0, 0), int32_t(-256));
  QCOMPARE(FourLineWord(0, 0, 0, 2147483647) , 2147483647);
  QCOMPARE(FourLineWord(0, 0, 1, 2147483647), int32_t(-2147483639));
  QCOMPARE(FourLineWord(8388608, 0, 0, 0), int32_t(-2147483647 - 1)); // 2^23 x 256 = 2^31
  // W - 240 wraps too: the smallest word gives a large positive temperature.
  QCOMPARE(Cell(Lm35Celsius(-2147483647 - 1), 4, 1), QString("2,147E8"));
}

void TestConvertFormulas::lm35Models0And8_data()
{
  WordRows({{0, "-24,0"}, {1, "-23,9"}, {239, "-0,1"}, {240, "0,0"}, {241, "0,1"}, {1023, "78,3"},
            {256, "1,6"}, {99999, "9976,0"}});
}

void TestConvertFormulas::lm35Models0And8()
{
  QFETCH(int, w);
  QFETCH(QString, text);
  QCOMPARE(Cell(Lm35Celsius(w), 4, 1), text);
}

void TestConvertFormulas::ntcModel1_data()
{
  WordRows({{0, "-120,8"}, {1, "-120,4"}, {297, "0,0"}, {298, "0,4"}, {512, "87,5"}, {1023, "295,4"}});
}

void TestConvertFormulas::ntcModel1()
{
  QFETCH(int, w);
  QFETCH(QString, text);
  QCOMPARE(Cell(NtcCelsius(w), 4, 1), text);
}

void TestConvertFormulas::thermocoupleReferenceModel2_data()
{
  WordRows({{1, "0,2"}, {250, "50,0"}, {499, "99,8"}, {500, "100,0"}, {501, "100,0"}, {503, "101,0"}, {1023, "205,0"}});
}

void TestConvertFormulas::thermocoupleReferenceModel2()
{
  QFETCH(int, w);
  QFETCH(QString, text);
  QCOMPARE(Cell(ThermocoupleReference(w), 3, 1), text);
}

void TestConvertFormulas::thermocoupleChannelModel2_data()
{
  QTest::addColumn<int>("w1");
  QTest::addColumn<int>("w");
  QTest::addColumn<QString>("text");
  const std::pair<int, const char*> ref250[] = {
    {0, "0,0"}, {499, "49,9"}, {500, "50,0"}, {501, "50,1"}, {750, "75,0"}, {1023, "102,0"}};
  for (const auto& [w, t] : ref250)
    QTest::addRow("W1=250 W=%d", w) << 250 << w << QString(t);
  const std::pair<int, const char*> ref1[] = {{0, "-49,8"}, {499, "0,1"}, {500, "0,2"}};
  for (const auto& [w, t] : ref1)
    QTest::addRow("W1=1 W=%d", w) << 1 << w << QString(t);
}

void TestConvertFormulas::thermocoupleChannelModel2()
{
  QFETCH(int, w1);
  QFETCH(int, w);
  QFETCH(QString, text);
  QCOMPARE(Cell(ThermocoupleChannel(w, ThermocoupleReference(w1)), 3, 1), text);
}

void TestConvertFormulas::thermocoupleUsesSingleReference()
{
  // R = 0.2 held as a float (0.200000003); the channel adds that, not 0.2.
  const float r = ThermocoupleReference(1);
  QCOMPARE(r, 0.2f);
  QCOMPARE(ThermocoupleChannel(500, r), 0.2f);
  const float expected = static_cast<float>(-50.0L + static_cast<long double>(0.2f));
  QCOMPARE(ThermocoupleChannel(0, r), expected);
}

void TestConvertFormulas::lm335Model3_data()
{
  WordRows({{0, "-273,0"}, {2730, "-0,1"}, {2731, "0,0"}, {2732, "0,1"}, {2981, "25,0"}, {3731, "100,0"}, {3736, "101,0"}});
}

void TestConvertFormulas::lm335Model3()
{
  QFETCH(int, w);
  QFETCH(QString, text);
  QCOMPARE(Cell(Lm335Celsius(w), 3, 1), text);
}

void TestConvertFormulas::radiationModel4_data()
{
  QTest::addColumn<int>("w");
  QTest::addColumn<int>("o");
  QTest::addColumn<QString>("k");
  QTest::addColumn<QString>("text");
  QTest::newRow("256 6 10") << 256 << 6 << "10" << "500,0";
  QTest::newRow("1000 10 66") << 1000 << 10 << "66" << "300,0";
  QTest::newRow("100 0 1,3") << 100 << 0 << "1,3" << "1538,0";
  QTest::newRow("6 6 10") << 6 << 6 << "10" << "0,0";
  QTest::newRow("5 6 10 negative") << 5 << 6 << "10" << "0,0";
  QTest::newRow("256 0 -1 negative") << 256 << 0 << "-1" << "0,0";
  QTest::newRow("1023 0 1") << 1023 << 0 << "1" << "2,046E4";
  QTest::newRow("1,5 blanks") << 150 << 0 << " 1,5 " << "2000,0";
  QTest::newRow("6 6 -1 negative zero") << 6 << 6 << "-1" << "0,0";
}

void TestConvertFormulas::radiationModel4()
{
  QFETCH(int, w);
  QFETCH(int, o);
  QFETCH(QString, k);
  QFETCH(QString, text);
  QCOMPARE(Cell(RadiationPar(w, o, StrToFloat(k.toStdString(), ',')), 4, 1), text);
}

void TestConvertFormulas::radiationFailures()
{
  const auto message = [](auto&& f) -> QString {
    try {
      f();
    } catch (const ConvertError& e) {
      return QString::fromStdString(e.what());
    }
    return "(no error)";
  };
  QCOMPARE(message([] { RadiationPar(256, 6, 0.0L); }), QString("Floating point division by zero"));
  QCOMPARE(message([] { RadiationPar(6, 6, 0.0L); }), QString("Invalid floating point operation"));
  QCOMPARE(message([] { RadiationPar(6, 6, -0.0L); }), QString("Invalid floating point operation"));
  QCOMPARE(message([] { RadiationPar(1023, 0, 1e-40L); }), QString("Floating point overflow"));
  QCOMPARE(message([] { RadiationPar(1023, 0, -1e-40L); }), QString("Floating point overflow"));
  QCOMPARE(message([] { RadiationPar(1023, 0, 1e-4900L); }), QString("Floating point overflow"));
  // Just inside single precision: no failure.
  QCOMPARE(message([] { RadiationPar(1023, 0, 1e-34L); }), QString("(no error)"));
}

void TestConvertFormulas::humidityV1Model5_data()
{
  WordRows({{0, "0,0"}, {63, "0,0"}, {64, "0,0"}, {65, "0,4"}, {188, "50,0"}, {312, "100,0"}, {313, "100,0"},
            {1023, "100,0"}, {-5, "0,0"}});
}

void TestConvertFormulas::humidityV1Model5()
{
  QFETCH(int, w);
  QFETCH(QString, text);
  QCOMPARE(Cell(HumidityV1(w), 4, 1), text);
  QVERIFY(HumidityV1(w) >= 0.0f && HumidityV1(w) <= 100.0f);
}

void TestConvertFormulas::humidityV2Model6_data()
{
  WordRows({{0, "0,0"}, {211, "0,0"}, {212, "0,1"}, {500, "35,2"}, {1023, "99,1"}, {2000, "100,0"}});
}

void TestConvertFormulas::humidityV2Model6()
{
  QFETCH(int, w);
  QFETCH(QString, text);
  QCOMPARE(Cell(HumidityV2(w), 4, 1), text);
}

void TestConvertFormulas::millivoltsModel7_data()
{
  WordRows({{0, "0"}, {1023, "1023"}, {9999, "9999"}, {10000, "1E4"}, {10240, "1,024E4"}, {-256, "-256"}});
}

void TestConvertFormulas::millivoltsModel7()
{
  QFETCH(int, w);
  QFETCH(QString, text);
  QCOMPARE(Cell(Millivolts(w), 4, 0), text);
}

void TestConvertFormulas::extremeWordsNeverFail()
{
  // No temperature, humidity or millivolt formula fails for any 32-bit word.
  for (const int32_t w : {int32_t(-2147483647 - 1), int32_t(-1), int32_t(0), int32_t(2147483647)}) {
    Lm35Celsius(w);
    NtcCelsius(w);
    ThermocoupleChannel(w, ThermocoupleReference(w));
    Lm335Celsius(w);
    QVERIFY(HumidityV1(w) >= 0.0f && HumidityV1(w) <= 100.0f);
    QVERIFY(HumidityV2(w) >= 0.0f && HumidityV2(w) <= 100.0f);
    Millivolts(w);
  }
}

void TestConvertFormulas::narrowing()
{
  QCOMPARE(NarrowToSingle(1.5L), 1.5f);
  QCOMPARE(NarrowToSingle(static_cast<long double>(FLT_MAX)), FLT_MAX);
  // Above FLT_MAX but rounding down to it: no overflow.
  QCOMPARE(NarrowToSingle(std::ldexp(1.0L, 128) - std::ldexp(1.0L, 103) - std::ldexp(1.0L, 80)), FLT_MAX);
  QVERIFY_THROWS_EXCEPTION(ConvertError, NarrowToSingle(std::ldexp(1.0L, 128) - std::ldexp(1.0L, 103)));
  QVERIFY_THROWS_EXCEPTION(ConvertError, NarrowToSingle(std::numeric_limits<long double>::infinity()));
  QVERIFY_THROWS_EXCEPTION(ConvertError, NarrowToSingle(std::numeric_limits<long double>::quiet_NaN()));
}

void TestConvertFormulas::modelTable()
{
  QCOMPARE(kModelCount, 9);
  QVERIFY(FindModel(-1) == nullptr);
  QVERIFY(FindModel(9) == nullptr);
  const char* const selector[] = {"2 canales, temperatura, LM35", "2 canales, temperatura NTC",
                                  "7 canales temperatura, termocupla 'J'", "7 canales temperatura, LM335",
                                  "1 canal de radiación PAR", "1 canal de humedad relativa V 1/1",
                                  "1 Canal de humedad relativa V 2/2", "1 canal, milivoltios.",
                                  "1 canal, temperatura, LM35"};
  const char* const titles[] = {"2 CANALES DE TEMPERATURA SENSORES LM35 EN °C, 512 DATOS POR CANAL",
                                "CH1  CH2   SENSORES NTC EN °C",
                                "7 CANALES TERMOCUPLA TIPO \"J\" EN °C",
                                "7 CANALES LM35Z EN °C",
                                "RADIACION PAR EN uMOL S-1 M-2",
                                "HUMEDAD RELATIVA EN °HR",
                                "HUMEDAD RELATIVA EN °HR",
                                "1CH MILIVOLTIOS",
                                "1 CANAL DE TEMPERATURA SENSOR LM35 EN °C, 1024 DATOS,"};
  const char* const routines[] = {"DOSCANALESLM35", "DOSCANALESNTC", "SIETECANALESTC", "SIETECANALESLM35",
                                  "UNCANALRAD", "UNCANALHR1", "UNCANALHR2", "UNCANALMV", "UNCANALLM35"};
  const char triggers[] = "117711111";
  const int columns[] = {2, 2, 7, 7, 1, 1, 1, 1, 1};
  const int samples[] = {512, 512, 1170, 1170, 1024, 1024, 1024, 1024, 1024};
  const int download[] = {8196, 5120, 17900, 17900, 5120, 5120, 5120, 5120, 5120};
  const int P[] = {4, 4, 3, 3, 4, 4, 4, 4, 4};
  const int D[] = {1, 1, 1, 1, 1, 1, 1, 0, 1};
  for (int i = 0; i < 9; ++i) {
    const ModelInfo* m = FindModel(i);
    QVERIFY(m);
    QCOMPARE(m->Index, i);
    QCOMPARE(QString::fromUtf8(m->SelectorText.data(), m->SelectorText.size()), QString::fromUtf8(selector[i]));
    QCOMPARE(QString::fromUtf8(m->Title.data(), m->Title.size()), QString::fromUtf8(titles[i]));
    QCOMPARE(std::string(m->Routine), std::string(routines[i]));
    QCOMPARE(m->Trigger, triggers[i]);
    QCOMPARE(m->Columns, columns[i]);
    QCOMPARE(m->Samples, samples[i]);
    QCOMPARE(m->ConversionMaximum, samples[i]);
    QCOMPARE(m->DownloadMaximum, download[i]);
    QCOMPARE(m->P, P[i]);
    QCOMPARE(m->D, D[i]);
    QCOMPARE(&AllModels()[static_cast<std::size_t>(i)], m);
  }
  QCOMPARE(std::string(FindModel(2)->ColumnTitles[0]), std::string("REF"));
  QCOMPARE(std::string(FindModel(3)->ColumnTitles[6]), std::string("CANAL6"));
  QCOMPARE(std::string(FindModel(0)->ColumnTitles[1]), std::string("CANAL2"));
  QCOMPARE(std::string(FindModel(8)->ColumnTitles[0]), std::string("CANAL1"));
}

QTEST_APPLESS_MAIN(TestConvertFormulas)
#include "tst_convert_formulas.moc"
