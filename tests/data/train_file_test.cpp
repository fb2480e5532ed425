#include "data/train_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>

#include "fixtures/fake_picture_loader.h"
#include "reader_test_support.h"

namespace dravolin::data {
namespace {

using TrainFileTest = ReaderTest<TrainFile, parseTrainFile>;

// An electric train with every key of the file, in Shift-JIS with CR LF line ends.
// clang-format off
const std::string kElectric = crlf({
    "E231 test train",
    "[Handle]", "1",
    "[BrakeType]", "1",
    "[Brake]", "9",
    "[Power]", "2",
    "[Hold]", "1",
    "[BrakeRate]", "4.2",
    "[PowerDelay]", "3",
    "[BrakeDelay]", "4",
    "[BrakeUp]", "5",
    "[BrakeDown]", "6",
    "[EBPress]", "440",
    "[HighAirPress]", "880",
    "[LowAirPress]", "780",
    "[Curr1]", "11",
    "[Curr2]", "12",
    "[Engine_Type]", "1",
    "[DoorType]", "2",
    "[Mt]", "120.5",
    "[Tt]", "0.25",
    "[Cars]", "10",
    "[Tons]", "250.12345",  // five decimals: rounded to four
    "[EB]", "1",
    "[MaxSpeed]", "120",
    "[Lose_elec]", "7",
    "[Mc]", "1",
    "[ATS_Type]", "2",
    "[ATS_Alert]", "1",
    "[ATS_Time]", "5",
    "[ATS_Cnt]", "1",
    "[Sound_br1]", "1",
    "[Sound_br2]", "2",
    "[Sound_EB]", "3",
    "[Sound_Ats1]", "4",
    "[Sound_Ats2]", "5",
    "[Sound_Atc]", "6",
    "[Sound_Horn]", "7",
    "[Sound_Horn2]", "8",
    "[Sound_DoorOpen]", "9",
    "[Sound_DoorClose]", "10",
    "[Sound_EBring]", "11",
    "[Sound_squeak]", "12",
    "[CP_Start]", "13",
    "[CP_Cnt]", "14",
    "[CP_End]", "15",
    "[Stop]", "16",
    "[EngineSound]", "17", "18", "19",
    "[Gear_Type]", "MT",
    "[Notch] electric notch curves", "3.0", "2.5", "40", "80", "0.98", "3.5", "3.0", "45", "90", "1",
    "#",
    "[MotorSound]",
    "sound\\\x83\x82\x81\x5B\x83\x5E.wav",  // sound\モータ.wav
    "0", "0", "100", "0.5", "1.5", "0.1", "1",
    "#",
    "[DriveSound]",
    "sound\\\x83\x5C\x95\x5C.wav",  // sound\ソ表.wav
    "", "run.wav",
    "#",
    "[Clock]", "600", "50", "20",
    "[Panel]", "image\\panel.bmp", "0", "240",
    "[Panel2]", "image\\panel2.bmp", "1", "241",
    "[Lamp_Door]", "d.bmp", "10", "11",
    "[Lamp_Power]", "p.bmp", "12", "13",
    "[Lamp_EB]", "eb.bmp", "14", "15",
    "[Lamp_Gen]", "gen.bmp", "16", "17",
    "[Lamp_Air]", "air.bmp", "18", "19",
    "[Lamp_Ele]", "ele.bmp", "20", "21",
    "[Lamp_Ats]", "ats.bmp", "22", "23",
    "[Lamp_ATSP1]", "atsp1.bmp", "24", "25",
    "[Lamp_ATSP2]", "atsp2.bmp", "26", "27",
    "[Lamp_G]", "g.bmp", "28", "29",
    "[Lamp_YG]", "yg.bmp", "30", "31",
    "[Lamp_Y]", "y.bmp", "32", "33",
    "[Lamp_YY]", "yy.bmp", "34", "35",
    "[Lamp_R]", "r.bmp", "36", "37",
    "[Lamp_Fwd]", "fwd.bmp", "38", "39",
    "[Lamp_Back]", "back.bmp", "40", "41",
    "[Needle_Speed]", "ns.bmp", "100", "300", "80", "80", "-135", "2.25",
    "[Needle_BC]", "nbc.bmp", "1", "2", "3", "4", "5", "0.5",
    "[Needle_SAP]", "", "1", "2", "3", "4", "5", "0.5",
    "[Needle_ER]", "ner.bmp", "1", "2", "3", "4", "5", "0.5",
    "[Needle_BP]", "nbp.bmp", "1", "2", "3", "4", "5", "0.5",
    "[Needle_MR]", "nmr.bmp", "1", "2", "3", "4", "5", "0.5",
    "[Needle_V]", "nv.bmp", "1", "2", "3", "4", "5", "0.5",
    "[Needle_I]", "ni.bmp", "1", "2", "3", "4", "5", "-0.125",
    "[NotchImageP]", "200", "300", "image\\p0.bmp", "image\\p1.bmp", "image\\p2.bmp",
    "#",
    "[NotchImageB]", "210", "310", "image\\b0.bmp",
    "#",
    "[GearImageList]", "220", "320",
    "#",
    "[Others]", "o1.bmp", "1", "2", "o2.bmp", "3", "4",
    "#",
});
// clang-format on

TEST_F(TrainFileTest, ReadsEveryKeyOfAnElectricTrain) {
  for (const char* name : {"p0.bmp", "p1.bmp", "p2.bmp"}) pictures.add(name, 60, 20);
  pictures.add("b0.bmp", 70, 30);
  const TrainFile t = parse(kElectric);
  const sim::TrainParams& p = t.params;
  EXPECT_EQ(p.Handle, 1);
  EXPECT_EQ(p.BrakeType, 1);
  EXPECT_EQ(p.Brake, 9);
  EXPECT_EQ(p.Power, 2);
  EXPECT_EQ(p.Hold, 1);
  EXPECT_EQ(p.BrakeRate.raw(), 42000);
  EXPECT_EQ(p.PowerDelay, 3);
  EXPECT_EQ(p.BrakeDelay, 4);
  EXPECT_EQ(p.BrakeUp, 5);
  EXPECT_EQ(p.BrakeDown, 6);
  EXPECT_EQ(p.EBPress, 440);
  EXPECT_EQ(p.HighAirPress, 880);
  EXPECT_EQ(p.LowAirPress, 780);
  EXPECT_EQ(t.Curr1, 11);
  EXPECT_EQ(t.Curr2, 12);
  EXPECT_EQ(p.Engine_Type, 1);
  EXPECT_EQ(t.DoorType, 2);
  EXPECT_EQ(p.Mt.raw(), 1205000);
  EXPECT_EQ(t.Tt.raw(), 2500);
  EXPECT_EQ(p.Cars, 10);
  EXPECT_EQ(p.Tons.raw(), 2501234);  // 250.12345: the half goes to the even count
  EXPECT_EQ(t.EB, 1);
  EXPECT_EQ(p.MaxSpeed, 120);
  EXPECT_EQ(p.Lose_elec, 7);
  EXPECT_EQ(p.Mc, 1);
  EXPECT_EQ(t.ATS_Type, 2);
  EXPECT_EQ(t.ATS_Alert, 1);
  EXPECT_EQ(t.ATS_Time, 5);
  EXPECT_EQ(t.ATS_Cnt, 1);
  EXPECT_EQ((std::vector<int>{t.Sound_br1, t.Sound_br2, t.Sound_EB, t.Sound_Ats1, t.Sound_Ats2,
                              t.Sound_Atc, t.Sound_Horn, t.Sound_Horn2, t.Sound_DoorOpen,
                              t.Sound_DoorClose, t.Sound_EBring, t.Sound_squeak, t.CP_Start,
                              t.CP_Cnt, t.CP_End, t.Stop}),
            (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
  EXPECT_EQ(t.EngineSound, (std::array<int, 3>{17, 18, 19}));
  EXPECT_EQ(p.Gear_Type, static_cast<int>(sim::GearType::Manual));

  ASSERT_EQ(p.NotchTable.size(), 2u);
  EXPECT_EQ(p.NotchTable[0].A, 3.0);
  EXPECT_EQ(p.NotchTable[0].B, 2.5);
  EXPECT_EQ(p.NotchTable[0].V1, 40);
  EXPECT_EQ(p.NotchTable[0].V2, 80);
  EXPECT_EQ(p.NotchTable[0].N, 0.98);
  EXPECT_EQ(p.NotchTable[1].V2, 90);
  EXPECT_TRUE(p.GearTable.empty());

  ASSERT_EQ(t.MotorSound.size(), 1u);
  EXPECT_EQ(t.MotorSound[0].file, "sound\\\x83\x82\x81\x5B\x83\x5E.wav");
  EXPECT_EQ(t.MotorSound[0].mode, 0);
  EXPECT_EQ(t.MotorSound[0].speedTo, 100.0L);
  EXPECT_EQ(t.MotorSound[0].ratioFrom, 0.5L);
  EXPECT_EQ(t.MotorSound[0].volumeFrom, 0.1L);  // extended: 0.1 rounded once, to 80 bits
  EXPECT_EQ(t.MotorSound[0].volumeTo, 1.0L);
  EXPECT_EQ(t.DriveSound, (std::vector<std::string>{"sound\\\x83\x5C\x95\x5C.wav", "", "run.wav"}));

  EXPECT_EQ(t.Clock.x, 600);
  EXPECT_EQ(t.Clock.y, 50);
  EXPECT_EQ(t.Clock.handLength, 20);
  EXPECT_EQ(t.Panel.file, "image\\panel.bmp");
  EXPECT_EQ(t.Panel.top, 240);
  EXPECT_EQ(t.Panel2.left, 1);
  const std::vector<const PanelPicture*> lamps = {
      &t.Lamp_Door, &t.Lamp_Power, &t.Lamp_EB,    &t.Lamp_Gen, &t.Lamp_Air, &t.Lamp_Ele,
      &t.Lamp_Ats,  &t.Lamp_ATSP1, &t.Lamp_ATSP2, &t.Lamp_G,   &t.Lamp_YG,  &t.Lamp_Y,
      &t.Lamp_YY,   &t.Lamp_R,     &t.Lamp_Fwd,   &t.Lamp_Back};
  for (std::size_t i = 0; i < lamps.size(); ++i) {
    EXPECT_EQ(lamps[i]->left, 10 + 2 * static_cast<int>(i)) << i;
    EXPECT_EQ(lamps[i]->top, 11 + 2 * static_cast<int>(i)) << i;
  }
  EXPECT_EQ(t.Lamp_Back.file, "back.bmp");
  EXPECT_EQ(t.Needle_Speed.file, "ns.bmp");
  EXPECT_EQ(t.Needle_Speed.left, 100);
  EXPECT_EQ(t.Needle_Speed.top, 300);
  EXPECT_EQ(t.Needle_Speed.width, 80);
  EXPECT_EQ(t.Needle_Speed.height, 80);
  EXPECT_EQ(t.Needle_Speed.zeroAngle, -135);
  EXPECT_EQ(t.Needle_Speed.anglePerUnit, 2.25L);
  EXPECT_EQ(t.Needle_SAP.file, "");
  EXPECT_EQ(t.Needle_MR.file, "nmr.bmp");
  EXPECT_EQ(t.Needle_I.anglePerUnit, -0.125L);

  EXPECT_EQ(t.NotchImageP.left, 200);
  EXPECT_EQ(t.NotchImageP.top, 300);
  EXPECT_EQ(t.NotchImageP.width, 60);
  EXPECT_EQ(t.NotchImageP.height, 20);
  EXPECT_EQ(t.NotchImageP.bitmaps.size(), 3u);
  EXPECT_EQ(t.NotchImageB.bitmaps.size(), 1u);
  EXPECT_EQ(t.NotchImageB.width, 70);
  EXPECT_EQ(t.GearImageList.left, 220);
  EXPECT_TRUE(t.GearImageList.bitmaps.empty());
  EXPECT_EQ(t.GearImageList.width, 0);  // no line: the size is never applied
  ASSERT_EQ(t.Others.size(), 2u);
  EXPECT_EQ(t.Others[1].file, "o2.bmp");
  EXPECT_EQ(t.Others[1].top, 4);
  EXPECT_EQ(ctx.sectionLabel, "[Others]");
  EXPECT_EQ(pictures.requested.front(), "/nonexistent/data/image/p0.bmp");
}

TEST_F(TrainFileTest, LfLineEndsReadTheSame) {
  for (const char* name : {"p0.bmp", "p1.bmp", "p2.bmp", "b0.bmp"}) pictures.add(name, 60, 20);
  std::string lf = kElectric;
  for (std::size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.erase(p, 1);
  const TrainFile a = parse(kElectric);
  const TrainFile b = parse(lf);
  EXPECT_EQ(b.params.Tons, a.params.Tons);
  EXPECT_EQ(b.DriveSound, a.DriveSound);
  EXPECT_EQ(b.Others.size(), a.Others.size());
  EXPECT_EQ(b.Needle_I.anglePerUnit, a.Needle_I.anglePerUnit);
}

TEST_F(TrainFileTest, ADieselTrainReadsItsGearsAndGearType) {
  const TrainFile t = parse(crlf({"[Engine_Type]", "0",  "[Power]", "4",  "[Gear_Type]", "at",
                                  "[Engine]",      "0",  "20",      "40", "2.0",         "1.8",
                                  "1.2",           "30", "50",      "80", "1.5",         "1.2",
                                  "0.8",           "#"}));
  EXPECT_TRUE(t.params.diesel());
  EXPECT_EQ(t.params.Gear_Type, 0);  // "at" in lower case leaves automatic
  ASSERT_EQ(t.params.GearCount(), 2);
  EXPECT_EQ(t.params.GearTable[1].V0, 30);
  EXPECT_EQ(t.params.GearTable[1].V2, 80);
  EXPECT_EQ(t.params.GearTable[1].A2, 0.8);
  EXPECT_EQ(parse(crlf({"[Gear_Type]", "MT", "[Gear_Type]", "AT "})).params.Gear_Type, 1);
}

TEST_F(TrainFileTest, ASecondEngineListAddsToTheFirstOtherListsStartAgain) {
  const std::string gears1 = crlf({"[Engine]", "0", "20", "40", "1", "1", "1", "#"});
  const std::string gears2 = crlf({"[Engine]", "30", "50", "80", "1", "1", "1", "#"});
  const std::string sounds1 = crlf({"[DriveSound]", "a.wav", "b.wav", "#"});
  const std::string sounds2 = crlf({"[DriveSound]", "c.wav", "#"});
  const std::string notches1 =
      crlf({"[Power]", "2", "[Notch]", "1", "1", "10", "20", "1", "1", "1", "10", "20", "1", "#"});
  const std::string notches2 = crlf({"[Power]", "1", "[Notch]", "2", "2", "30", "40", "1", "#"});
  const TrainFile t = parse(gears1 + sounds1 + gears2 + sounds2 + crlf({"[Engine_Type]", "1"}) +
                            notches1 + notches2);
  EXPECT_EQ(t.params.GearCount(), 2);
  EXPECT_EQ(t.params.GearTable[1].V0, 30);
  EXPECT_EQ(t.DriveSound, (std::vector<std::string>{"c.wav"}));
  ASSERT_EQ(t.params.NotchTable.size(), 1u);
  EXPECT_EQ(t.params.NotchTable[0].V1, 30);
}

TEST_F(TrainFileTest, AKeyLineMayCarryARemarkAndOtherLinesAreIgnored) {
  const TrainFile t =
      parse(crlf({"; remark", "[Power] notches of the master controller", "5", " [Brake]", "7",
                  "[brake]", "8", "", "[MaxSpeed]\t(km/h)", "110"}));
  EXPECT_EQ(t.params.Power, 5);
  EXPECT_EQ(t.params.Brake, 0);  // indented or in other case: not the key
  EXPECT_EQ(t.params.MaxSpeed, 110);
}

TEST_F(TrainFileTest, LaterTestsSeeTheLastValueLine) {
  // "[Panel]" takes "[Lamp_Door]" as its file name; the tests after it see its last value
  // line ("2"), so the lamp is not read.
  const TrainFile t = parse(crlf({"[Panel]", "[Lamp_Door]", "1", "2", "x.bmp", "3", "4"}));
  EXPECT_EQ(t.Panel.file, "[Lamp_Door]");
  EXPECT_EQ(t.Lamp_Door.file, "");
  // "[Gear_Type]" takes "[Notch]" as its text, which "[Notch]", tested later, then matches.
  const TrainFile u = parse(crlf({"[Engine_Type]", "1", "[Power]", "1", "[Gear_Type]", "[Notch]",
                                  "1", "1", "10", "20", "1", "#"}));
  EXPECT_EQ(u.params.Gear_Type, 0);
  EXPECT_EQ(u.params.NotchTable.size(), 1u);
}

struct MessageCase {
  const char* name;
  std::string file;
  std::string message;
};

class TrainFileMessages : public TrainFileTest,
                          public ::testing::WithParamInterface<MessageCase> {};

TEST_P(TrainFileMessages, EndsWithTheExactMessage) {
  pictures.add("ok.bmp", 10, 10);
  EXPECT_EQ(errorOf(GetParam().file), GetParam().message);
}

const std::string E = "車両ファイルに誤りがあります";

INSTANTIATE_TEST_SUITE_P(
    Cases, TrainFileMessages,
    ::testing::Values(
        MessageCase{"CarsWord", crlf({"[Cars]", "ten"}), E + "- 列車の基本設定"},
        MessageCase{"CarsAbove20", crlf({"[Cars]", "21"}),
                    E + "- 列車の基本設定:[Cars]は1から20までにしてください"},
        MessageCase{"CarsZero", crlf({"[Cars]", "0"}),
                    E + "- 列車の基本設定:[Cars]は1から20までにしてください"},
        MessageCase{"TonsComma", crlf({"[Tons]", "35,5"}), E + "- 列車の基本設定"},
        MessageCase{"IntTrailingBlank", crlf({"[Power]", "4 "}), E + "- 列車の基本設定"},
        MessageCase{"ValueMissingAtEnd", crlf({"[Handle]"}), E + "- 列車の基本設定"},
        MessageCase{"EngineSoundShort", crlf({"[EngineSound]", "1", "2"}), E + "- 列車の基本設定"},
        MessageCase{"NotchValue", crlf({"[Engine_Type]", "1", "[Notch]", "1", "x"}), E + "[Notch]"},
        MessageCase{"NotchCutShort", crlf({"[Engine_Type]", "1", "[Notch]", "1", "1", "10", "20"}),
                    E + "[Notch]"},
        MessageCase{"NotchNotClosed",
                    crlf({"[Engine_Type]", "1", "[Notch]", "1", "1", "10", "20", "1"}),
                    E + "[Notch]"},
        MessageCase{"NotchForDiesel", crlf({"[Engine_Type]", "0", "[Notch]", "#"}),
                    "動力が気動車なのにNotch指定があります"},
        MessageCase{
            "NotchBeforeEngineType",
            crlf({"[Power]", "1", "[Notch]", "1", "1", "10", "20", "1", "#", "[Engine_Type]", "1"}),
            "動力が気動車なのにNotch指定があります"},
        MessageCase{"NotchCountAbovePower",
                    crlf({"[Engine_Type]",
                          "1",
                          "[Power]",
                          "4",
                          "[Notch]",
                          "1",
                          "1",
                          "10",
                          "20",
                          "1",
                          "1",
                          "1",
                          "10",
                          "20",
                          "1",
                          "1",
                          "1",
                          "10",
                          "20",
                          "1",
                          "1",
                          "1",
                          "10",
                          "20",
                          "1",
                          "1",
                          "1",
                          "10",
                          "20",
                          "1",
                          "#"}),
                    "Power指定とNotch指定が矛盾しています"},
        MessageCase{"NotchEmptyForElectric",
                    crlf({"[Engine_Type]", "1", "[Power]", "4", "[Notch]", "#"}),
                    "Power指定とNotch指定が矛盾しています"},
        MessageCase{
            "NotchZeroSpeed",
            crlf({"[Engine_Type]", "1", "[Power]", "1", "[Notch]", "1", "1", "0", "0", "1", "#"}),
            E + "[Notch]:ノッチ1の速度は0 < V1 <= V2、Nは0以外にしてください"},
        MessageCase{"NotchSpeedsFalling",
                    crlf({"[Engine_Type]", "1", "[Power]", "2", "[Notch]", "1", "1", "10", "20",
                          "1", "1", "1", "30", "20", "1", "#"}),
                    E + "[Notch]:ノッチ2の速度は0 < V1 <= V2、Nは0以外にしてください"},
        MessageCase{
            "NotchBaseZero",
            crlf({"[Engine_Type]", "1", "[Power]", "1", "[Notch]", "1", "1", "10", "20", "0", "#"}),
            E + "[Notch]:ノッチ1の速度は0 < V1 <= V2、Nは0以外にしてください"},
        MessageCase{"EngineForElectric", crlf({"[Engine_Type]", "1", "[Engine]", "#"}),
                    "動力が電車なのにEngine指定があります"},
        MessageCase{"EngineValue", crlf({"[Engine]", "0", "20", "x"}), E + "[Engine]"},
        MessageCase{"GearSpeedsEqual", crlf({"[Engine]", "0", "20", "20", "1", "1", "1", "#"}),
                    E + "[Engine]:ギア1の速度はV0 < V1 < V2にしてください"},
        MessageCase{"MotorSoundMode", crlf({"[MotorSound]", "m.wav", "power"}), E + "[MotorSound]"},
        MessageCase{"DriveSoundNotClosed", crlf({"[DriveSound]", "a.wav", "b.wav"}),
                    E + "[DriveSound]:「#」で始まる行がないままファイルが終わっています"},
        MessageCase{"ClockValue", crlf({"[Clock]", "1", "y"}), E + "- アナログ時計"},
        MessageCase{"PanelValue", crlf({"[Panel]", "p.bmp", "0", "top"}), E + "- 運転台パネル"},
        MessageCase{"LampValue", crlf({"[Lamp_Back]", "b.bmp", "x", "0"}), E + "- 運転台パネル"},
        MessageCase{"NeedleSpeed", crlf({"[Needle_Speed]", "n.bmp", "a"}), E + "- 速度計"},
        MessageCase{"NeedleBC", crlf({"[Needle_BC]", "n.bmp", "a"}), E + "- BC圧力計"},
        MessageCase{"NeedleSAP", crlf({"[Needle_SAP]", "n.bmp", "a"}), E + "- SAP圧力計"},
        MessageCase{"NeedleER", crlf({"[Needle_ER]", "n.bmp", "a"}), E + "- ER圧力計"},
        MessageCase{"NeedleBP", crlf({"[Needle_BP]", "n.bmp", "a"}), E + "- BP圧力計"},
        MessageCase{"NeedleMR", crlf({"[Needle_MR]", "n.bmp", "a"}), E + "- MR圧力計"},
        MessageCase{"NeedleV", crlf({"[Needle_V]", "n.bmp", "1", "2", "3", "4", "5", "x"}),
                    E + "- 電圧計"},
        MessageCase{"NeedleI", crlf({"[Needle_I]", "n.bmp", "1", "2", "3", "4", "5.5", "1"}),
                    E + "- 電流計"},
        MessageCase{"NotchImagePPosition", crlf({"[NotchImageP]", "x"}), E + "[NotchImageP]"},
        MessageCase{"NotchImageBMissingBitmap", crlf({"[NotchImageB]", "1", "2", "none.bmp", "#"}),
                    E + "[NotchImageB]"},
        MessageCase{"GearImageListNotClosed", crlf({"[GearImageList]", "1", "2", "ok.bmp"}),
                    E + "[GearImageList]:「#」で始まる行がないままファイルが終わっています"},
        MessageCase{"OthersValue", crlf({"[Others]", "o.bmp", "1"}), E + "[Others]"},
        MessageCase{"OthersTooMany",
                    crlf({"[Others]", "o", "1", "1", "o", "1", "1", "o", "1", "1", "o", "1", "1",
                          "o",        "1", "1", "o", "1", "1", "o", "1", "1", "o", "1", "1", "o",
                          "1",        "1", "o", "1", "1", "o", "1", "1", "o", "1", "1", "#"}),
                    E + "[Others]:指定が多すぎます（最大11個）"}),
    [](const ::testing::TestParamInfo<MessageCase>& info) { return info.param.name; });

TEST_F(TrainFileTest, TooManyRecordsForATable) {
  std::string notches = crlf({"[Engine_Type]", "1", "[Power]", "12", "[Notch]"});
  for (int i = 0; i < 12; ++i) notches += crlf({"1", "1", "10", "20", "1"});
  EXPECT_EQ(errorOf(notches + "#\r\n"), E + "[Notch]:指定が多すぎます（最大11個）");

  std::string gears = crlf({"[Engine]"});
  for (int i = 0; i < 6; ++i) gears += crlf({"0", "20", "40", "1", "1", "1"});
  gears += "#\r\n";
  EXPECT_EQ(errorOf(gears + gears), E + "[Engine]:指定が多すぎます（最大11個）");
  EXPECT_EQ(parse(gears).params.GearCount(), 6);

  std::string motors = crlf({"[MotorSound]"});
  for (int i = 0; i < 101; ++i) motors += crlf({"m.wav", "0", "0", "1", "1", "1", "1", "1"});
  EXPECT_EQ(errorOf(motors + "#\r\n"), E + "[MotorSound]:指定が多すぎます（最大100個）");

  std::string drive = crlf({"[DriveSound]"});
  for (int i = 0; i < 501; ++i) drive += crlf({"d.wav"});
  EXPECT_EQ(parse(drive + "#\r\n").DriveSound.size(), 501u);
  EXPECT_EQ(errorOf(drive + crlf({"d.wav", "#"})),
            E + "[DriveSound]:指定が多すぎます（最大501個）");
}

TEST_F(TrainFileTest, IndicatorListsTakeTheSizeOfTheLastPictureLoaded) {
  pictures.add("a.bmp", 40, 20);
  pictures.add("\xE3\x82\xBD\xE8\xA1\xA8.bmp", 40, 20);  // ソ表.bmp on disk, in UTF-8
  pictures.add("big.bmp", 50, 20);
  // Same size: all kept; the Shift-JIS name with trail bytes 0x5C resolves as one name.
  TrainFile t = parse(
      crlf({"[NotchImageP]", "0", "0", "a.bmp", "image\\\x83\x5C\x95\x5C.bmp", "a.bmp", "#"}));
  EXPECT_EQ(t.NotchImageP.bitmaps.size(), 3u);
  EXPECT_EQ(pictures.requested[1], "/nonexistent/data/image/ソ表.bmp");
  // Another size empties the list first; an empty line only re-applies the size.
  t = parse(crlf({"[NotchImageB]", "0", "0", "a.bmp", "a.bmp", "big.bmp", "", "a.bmp", "#"}));
  EXPECT_EQ(t.NotchImageB.bitmaps.size(), 1u);
  EXPECT_EQ(t.NotchImageB.width, 40);
  // An empty first line takes the size of the picture the work bitmap holds from before.
  ctx.workWidth = 50;
  ctx.workHeight = 20;
  t = parse(crlf({"[GearImageList]", "0", "0", "", "big.bmp", "#"}));
  EXPECT_EQ(t.GearImageList.width, 50);
  EXPECT_EQ(t.GearImageList.bitmaps.size(), 1u);
}

TEST_F(TrainFileTest, AMissingFileReportsTheLabelLeftByTheLineFile) {
  ctx.sectionLabel = "[SpeedUnit]";
  try {
    readTrainFile("none_train.dat", ctx);
    FAIL() << "no error";
  } catch (const LoadError& e) {
    EXPECT_EQ(e.message(), E + "[SpeedUnit]");
  }
}

TEST(BrakeValidation, FourPositionBrakeAndNotchedBrakeMinimum) {
  sim::TrainParams p;
  p.BrakeType = 0;
  p.Brake = 8;
  validateBrake(p);
  EXPECT_EQ(p.Brake, 4);
  p.BrakeType = 1;
  p.Brake = 3;
  EXPECT_NO_THROW(validateBrake(p));
  EXPECT_EQ(p.Brake, 3);
  p.Brake = 2;
  try {
    validateBrake(p);
    FAIL() << "no error";
  } catch (const LoadError& e) {
    EXPECT_EQ(e.message(), "ブレーキの段数を3段以上に設定してください");
  }
}

}  // namespace
}  // namespace dravolin::data
