#include <QFile>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "data/text_encoding.h"
#include "tools/make-demo/demo.h"

namespace dravolin::demo {

namespace fs = std::filesystem;

fs::path Output::path(const std::string& name) const {
  std::string rel = name;
  for (char& c : rel) {
    if (c == '\\') c = '/';
  }
  const fs::path p = root_ / rel;
  fs::create_directories(p.parent_path());
  return p;
}

void Output::writeBytes(const std::string& name, const std::string& bytes) const {
  std::ofstream f(path(name), std::ios::binary | std::ios::trunc);
  f << bytes;
  if (!f) throw std::runtime_error("cannot write " + name);
  ++written;
}

void Output::writeText(const std::string& name, const std::vector<std::string>& lines) const {
  std::string bytes;
  for (const std::string& l : lines) {
    const std::string sjis = data::utf8ToCp932(l);
    if (sjis.empty() && !l.empty()) throw std::runtime_error("not in Shift-JIS: " + l);
    bytes += sjis + "\r\n";
  }
  writeBytes(name, bytes);
}

void Output::writeImage(const std::string& name, const QImage& image) const {
  const bool jpeg = name.size() > 4 && name.substr(name.size() - 4) == ".jpg";
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  const QString file = QString::fromStdString(path(name).string());
  if (!rgb.save(file, jpeg ? "JPG" : "BMP", jpeg ? 90 : -1)) {
    throw std::runtime_error("cannot write " + name);
  }
  ++written;
}

std::string kanaNumber(int n) {
  static const char* digits[] = {"",   "",     "に",   "さん", "よん",
                                 "ご", "ろく", "なな", "はち", "きゅう"};
  std::string s;
  if (n >= 100) {
    s += "ひゃく";
    n -= 100;
  }
  if (n >= 10) {
    s += std::string(digits[n / 10]) + "じゅう";
    n %= 10;
  }
  if (n == 1) return s + "いち";
  return s + digits[n];
}

std::vector<std::string> driveSounds(bool e231) {
  const std::string t = e231 ? "sound\\e231\\" : "sound\\205\\";
  std::vector<std::string> s;
  for (int i = 0; i <= 12; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "run%02d.wav", i);
    s.push_back(t + name);
  }
  const char* rest[] = {"brake_release.wav", "brake_apply.wav", "emergency.wav", "squeal.wav",
                        "cp_start.wav",      "cp_loop.wav",     "cp_end.wav",    "door_open.wav",
                        "door_close.wav",    "horn1.wav",       "horn2.wav"};
  for (const char* r : rest) s.push_back(t + r);
  for (const char* r : {"ats_bell.wav", "ats_chime.wav", "atc_chime.wav", "eb_buzzer.wav"}) {
    s.push_back(std::string("sound\\common\\") + r);
  }
  s.push_back(t + "stop.wav");
  return s;
}

std::vector<LineSound> callOuts() {
  std::vector<LineSound> c = {{"", "ていし"},   {"", "けいかい"}, {"", "ちゅうい"},
                              {"", "げんそく"}, {"", "しんこう"}, {"", "ちゅうけい せいげん"}};
  for (int v = 15; v <= 120; v += 5) c.push_back({"", "せいげん " + kanaNumber(v)});
  for (std::size_t i = 0; i < c.size(); ++i) {
    char name[40];
    std::snprintf(name, sizeof name, "sound\\callout\\k%02zu.wav", i);
    c[i].file = name;
  }
  return c;
}

std::vector<LineSound> otherIndications() {
  return {{"sound\\callout\\other0.wav", "きてき"},
          {"sound\\callout\\other1.wav", "せいげん かいじょ"},
          {"sound\\callout\\other2.wav", "ふみきり ちゅうい"}};
}

std::vector<LineSound> lineSounds(const Plan& plan, bool rapid) {
  std::vector<LineSound> s = {{"sound\\line\\melody.wav", ""},
                              {"sound\\line\\crossing.wav", ""},
                              {"sound\\line\\passing.wav", ""}};
  const std::string prefix = rapid ? "sound\\line\\rapid_" : "sound\\line\\local_";
  int n = 0;
  auto add = [&](const std::string& kana, double metres) {
    s.push_back({prefix + std::to_string(n++) + ".wav", kana, plan.frameAt(metres)});
  };
  const auto& st = plan.stations;
  add(rapid ? "この でんしゃは かいそく みどりだい ゆきです。 つぎは かわべです。"
            : "この でんしゃは かくえきていしゃ みどりだい ゆきです。 つぎは かわべです。",
      st[0].stopM + 300);
  for (std::size_t i = 1; i < st.size(); ++i) {
    const bool passed = rapid && static_cast<int>(i) == plan.passedStation;
    if (!passed) add("まもなく " + st[i].kana + "です。", st[i].stopM - 700);
    if (i + 1 == st.size() || passed) continue;
    std::string next = "つぎは " + st[i + 1].kana + "です。";
    if (rapid && static_cast<int>(i + 1) == plan.passedStation) {
      next = "つぎは " + st[i + 2].kana + "です。 " + st[i + 1].kana + "には とまりません。";
    }
    add(next, st[i].stopM + 300);
  }
  return s;
}

Timetable timetable(const Plan& plan, bool rapid) {
  Timetable t;
  t.startTime = rapid ? 10 * kTicksPerHour : 10 * kTicksPerHour + 30 * 1800;
  t.preTime = rapid ? 40 : 35;
  const int dwell = 25 * kFps;
  // Running-time allowance of every leg: the recording starts the moment it has stood its
  // second, but a driven train loses seconds releasing its brake and, as the local, accelerates
  // more weakly above 65 km/h; without it a careful driver arrives after the melody's time.
  const int allowance = 20 * kFps;
  int delay = 0;  // ticks the driver's timetable adds to the recorded run
  for (std::size_t i = 0; i < plan.stations.size(); ++i) {
    const Station& s = plan.stations[i];
    const bool passed = rapid && static_cast<int>(i) == plan.passedStation;
    if (i == 0) {
      t.arrive.push_back(t.startTime);
      delay = 30 * kFps;
    } else {
      if (!passed) delay += allowance;
      t.arrive.push_back(t.startTime + delay + s.stopFrame - plan.startPos +
                         (passed ? -20 * kFps : 0));
      if (passed)
        delay -= 25 * kFps;
      else
        delay += dwell;
    }
    const int dep = t.arrive.back() + (i == 0 ? 30 * kFps : passed ? 0 : dwell);
    t.depart.push_back(dep);
    t.melody.push_back(dep - 12 * kFps);
  }
  return t;
}

namespace {

std::string join(std::initializer_list<std::string> fields) {
  std::string s;
  for (const std::string& f : fields) s += (s.empty() ? "" : ",") + f;
  return s;
}

std::string str(long long v) { return std::to_string(v); }

std::string permil(double g) {
  char b[32];
  std::snprintf(b, sizeof b, "%.1f", g);
  return b;
}

void lineFile(const Plan& plan, const Output& out, bool rapid) {
  const std::string name = rapid ? "E231_line2.dat" : "205_line.dat";
  if (!out.wants(name)) return;
  const Timetable tt = timetable(plan, rapid);
  std::vector<std::string> l = {
      rapid ? "さくら線 快速 桜ヶ丘→緑台 (デモ路線)" : "さくら線 各駅停車 桜ヶ丘→緑台 (デモ路線)",
      "dravolin-make-demo が作った路線です。",
      "[LineName]",
      rapid ? "さくら線 快速" : "さくら線 各駅停車",
      "[StartPos]",
      str(plan.startPos),
      "[FrameRate]",
      "30",
      "[Staf]",
      rapid ? "image\\e231\\staf.bmp" : "image\\205\\staf.bmp",
      "image\\still.bmp",
      "[StartTime]",
      str(tt.startTime),
      "[Speed_YY]",
      "25",
      "[Speed_Y]",
      "45",
      "[Speed_YG]",
      "65",
      "[Speed_G]",
      "120",
      "[DataName]",
      "sakura",
      "[Pre_Time]",
      str(tt.preTime),
      "[OneMan]",
      "0"};
  const std::vector<LineSound> sounds = lineSounds(plan, rapid);
  l.push_back("[SoundData]");
  for (const LineSound& s : sounds) l.push_back(s.file);
  l.push_back("#");
  l.push_back("[Announce]");
  for (std::size_t i = 3; i < sounds.size(); ++i) l.push_back(join({str(i), str(sounds[i].frame)}));
  l.push_back("#");
  l.push_back("[KankoSound1]");
  for (const LineSound& c : callOuts()) l.push_back(c.file);
  l.push_back("[KankoSound2]");
  l.push_back("#");
  // The crossing bell rings from 350 m before the crossing to 40 m after it.
  l.push_back("[Sound]");
  l.push_back("; 踏切の警報音");
  l.push_back(join({"1", str(plan.frameAt(plan.crossingM - 350)),
                    str(plan.frameAt(plan.crossingM + 40)), "1", "1"}));
  l.push_back("#");
  // The oncoming train is heard from 25 s before it meets the camera to 10 s after.
  l.push_back("[Doppler]");
  l.push_back(join({"2", str(plan.passingFrame - 25 * kFps), str(plan.passingFrame),
                    str(plan.passingFrame + 10 * kFps)}));
  l.push_back("#");
  l.push_back("[Tunnel]");
  l.push_back(str(plan.frameAt(plan.tunnel.fromM)));
  l.push_back(str(plan.frameAt(plan.tunnel.toM)));
  l.push_back("#");
  l.push_back("[Station]");
  for (std::size_t i = 0; i < plan.stations.size(); ++i) {
    const Station& s = plan.stations[i];
    const bool passed = rapid && static_cast<int>(i) == plan.passedStation;
    l.push_back(join({s.name, passed ? "1" : "0", str(s.rangeStart), str(s.rangeEnd), "0",
                      str(tt.melody[i]), str(tt.depart[i])}));
  }
  l.push_back("#");
  l.push_back("[StopSound]");
  for (std::size_t i = 1; i < plan.stations.size(); ++i) {
    if (rapid && static_cast<int>(i) == plan.passedStation) continue;
    l.push_back(str(plan.frameAt(plan.stations[i].stopM - 60)));
  }
  l.push_back("#");
  l.push_back("[Signal]");
  int displayFrom = 0;
  for (const SignalPlan& s : plan.blockSignals) {
    const int boundary = plan.frameAt(s.posM);
    l.push_back(join({"0", s.name, str(s.kind), str(displayFrom), str(boundary),
                      str(plan.frameAt(s.posM - 300)),
                      str(plan.insideRow(plan.frameAt(s.posM - 15))), "0", "0"}));
    displayFrom = boundary + 1;
  }
  l.push_back("#");
  l.push_back("[Slope]");
  for (const SlopePlan& s : plan.slopes) {
    l.push_back(join({permil(s.permil), str(plan.frameAt(s.fromM)), str(plan.frameAt(s.toM))}));
  }
  l.push_back("#");
  l.push_back("[Sign]");
  auto sign = [&](int image, double at) {
    l.push_back(join({str(image), str(plan.frameAt(at - 200)), str(plan.frameAt(at))}));
  };
  sign(0, plan.tunnel.fromM - 150);
  for (const CurvePlan& c : plan.curves) sign(1, c.toM);
  sign(2, plan.crossingM - 60);
  l.push_back("#");
  l.push_back("[SpeedLimit]");
  for (const CurvePlan& c : plan.curves) {
    l.push_back(join({str(c.limit), str(plan.frameAt(c.fromM - 400)),
                      str(plan.insideRow(plan.frameAt(c.fromM))), str(plan.frameAt(c.toM))}));
  }
  l.push_back("#");
  l.push_back("[SpeedCheck]");
  if (!rapid) {
    // A speed check in front of the first curve, for the ATS of the local train.
    l.push_back(
        join({str(plan.curves[0].limit + 5), str(plan.frameAt(plan.curves[0].fromM - 20))}));
  }
  l.push_back("#");
  l.push_back("[SignImageList]");
  l.push_back("image\\common\\sign.bmp");
  l.push_back("#");
  l.push_back("[OtherImageList]");
  const auto others = otherIndications();
  for (std::size_t i = 0; i < others.size(); ++i) {
    l.push_back("image\\common\\other" + str(i) + ".bmp");
    l.push_back(others[i].file);
  }
  l.push_back("#");
  l.push_back("[SignalImageList]");
  l.push_back("image\\common\\signal.bmp");
  l.push_back("#");
  l.push_back("[SpeedUnit]");
  for (const SpeedRow& r : plan.rows)
    l.push_back(join({str(r.f0), str(r.f1), str(r.v0), str(r.v1)}));
  l.push_back("#");
  out.writeText(name, l);
}

// A needle entry: picture, rectangle, zero angle, degrees per unit.
void needle(std::vector<std::string>& l, const std::string& key, const std::string& file, int cx,
            int cy, int size, int zero, const std::string& perUnit) {
  l.insert(l.end(), {key, file, str(cx - size / 2), str(cy - size / 2), str(size), str(size),
                     str(zero), perUnit});
}

void trainFile(const Output& out, bool e231) {
  const std::string name = e231 ? "E231_train.dat" : "205_train.dat";
  if (!out.wants(name)) return;
  const std::string img = e231 ? "image\\e231\\" : "image\\205\\";
  std::vector<std::string> l = {
      e231 ? "E231系 10両 (デモ車両) ワンハンドル" : "205系 6両 (デモ車両) 2ハンドル",
      "[Handle]",
      e231 ? "0" : "1",
      "[BrakeType]",
      e231 ? "1" : "0",
      "[Brake]",
      e231 ? "9" : "4",
      "[Power]",
      "4",
      "[Hold]",
      "0",
      "[BrakeRate]",
      e231 ? "4.0" : "3.9",
      "[PowerDelay]",
      "3",
      "[BrakeDelay]",
      "3",
      "[BrakeUp]",
      e231 ? "220" : "150",
      "[BrakeDown]",
      e231 ? "200" : "150",
      "[EBPress]",
      "440",
      "[HighAirPress]",
      "880",
      "[LowAirPress]",
      "780",
      "[Curr1]",
      "0",
      "[Curr2]",
      "0",
      "[Engine_Type]",
      "1",
      "[DoorType]",
      "0",
      "[Mt]",
      e231 ? "150" : "140",
      "[Tt]",
      e231 ? "140" : "60",
      "[Cars]",
      e231 ? "10" : "6",
      "[Tons]",
      e231 ? "290" : "200",
      "[EB]",
      "1",
      "[MaxSpeed]",
      e231 ? "120" : "100",
      "[Lose_elec]",
      "5",
      "[Mc]",
      "1",
      "[ATS_Type]",
      e231 ? "1" : "0",
      "[ATS_Alert]",
      "0",
      "[ATS_Time]",
      "5",
      "[ATS_Cnt]",
      e231 ? "1" : "0",
      "[Sound_br1]",
      str(kBrakeRelease),
      "[Sound_br2]",
      str(kBrakeApply),
      "[Sound_EB]",
      str(kEmergency),
      "[Sound_Ats1]",
      str(kAtsBell),
      "[Sound_Ats2]",
      str(kAtsChime),
      "[Sound_Atc]",
      str(kAtcChime),
      "[Sound_Horn]",
      str(kHorn1),
      "[Sound_Horn2]",
      str(kHorn2),
      "[Sound_DoorOpen]",
      str(kDoorOpen),
      "[Sound_DoorClose]",
      str(kDoorClose),
      "[Sound_EBring]",
      str(kEbBuzzer),
      "[Sound_squeak]",
      str(kSqueal),
      "[CP_Start]",
      str(kCpStart),
      "[CP_Cnt]",
      str(kCpLoop),
      "[CP_End]",
      str(kCpEnd),
      "[Stop]",
      str(kStopSound)};
  // Notch curves: acceleration at standstill, at V1, V1, V2, decay above V2.
  l.push_back("[Notch]");
  const char* notches[2][4][5] = {{{"0.8", "0.8", "10", "15", "0.95"},
                                   {"1.6", "1.6", "20", "30", "0.96"},
                                   {"2.3", "2.3", "30", "40", "0.97"},
                                   {"2.85", "2.85", "35", "48", "0.978"}},
                                  {{"1.0", "1.0", "15", "20", "0.95"},
                                   {"1.8", "1.8", "25", "35", "0.97"},
                                   {"2.5", "2.5", "35", "50", "0.98"},
                                   {"2.9", "2.9", "40", "60", "0.985"}}};
  for (const auto& n : notches[e231 ? 1 : 0]) {
    for (const char* v : n) l.push_back(v);
  }
  l.push_back("#");
  // Motor sounds: speed from, to, pitch at from and to, volume at from and to. The sound level
  // is the volume factor x the handle's gain (100 while it drives the sound) x the common level
  // (up to 105 while a handle is off its rest) / 1000000, so factors near 95 play the wave at
  // full level and a factor of 1 (outside the record's speeds) is about 40 dB down. The pitch
  // climbs without a step where one record hands over to the next.
  l.push_back("[MotorSound]");
  const std::string snd = e231 ? "sound\\e231\\" : "sound\\205\\";
  struct Motor {
    const char* file;
    int mode;
    const char* v[6];
  };
  const std::vector<Motor> motors =
      e231 ? std::vector<Motor>{{"motor_low.wav", 0, {"0", "40", "0.5", "1.6", "50", "90"}},
                                {"motor_high.wav", 0, {"38", "130", "1.0", "2.0", "90", "55"}},
                                {"motor_low.wav", 1, {"5", "40", "0.5", "1.6", "40", "75"}},
                                {"motor_high.wav", 1, {"38", "130", "1.0", "2.0", "75", "45"}}}
           : std::vector<Motor>{{"motor.wav", 0, {"0", "110", "0.5", "2.6", "55", "90"}},
                                {"motor.wav", 1, {"5", "110", "0.5", "2.6", "45", "75"}},
                                {"fan.wav", 2, {"10", "110", "0.8", "1.4", "15", "45"}}};
  for (const Motor& m : motors) {
    l.push_back(snd + m.file);
    l.push_back(str(m.mode));
    for (const char* v : m.v) l.push_back(v);
  }
  l.push_back("#");
  l.push_back("[DriveSound]");
  for (const std::string& s : driveSounds(e231)) l.push_back(s);
  l.push_back("#");
  l.insert(l.end(), {"[Clock]", "593", "290", "20"});
  l.insert(l.end(), {"[Panel]", img + "panel.bmp", "0", "240"});
  l.insert(l.end(), {"[Panel2]", img + "panel2.bmp", "0", "240"});
  const char* lamps[][3] = {{"[Lamp_Door]", "door", "208"},   {"[Lamp_Power]", "power", "252"},
                            {"[Lamp_EB]", "eb", "296"},       {"[Lamp_Gen]", "gen", "340"},
                            {"[Lamp_Air]", "air", "384"},     {"[Lamp_Ele]", "ele", "428"},
                            {"[Lamp_Ats]", "ats", "208"},     {"[Lamp_ATSP1]", "atsp1", "252"},
                            {"[Lamp_ATSP2]", "atsp2", "296"}, {"[Lamp_G]", "g", "340"},
                            {"[Lamp_YG]", "yg", "384"},       {"[Lamp_Y]", "y", "428"},
                            {"[Lamp_YY]", "yy", "472"},       {"[Lamp_R]", "r", "472"},
                            {"[Lamp_Fwd]", "fwd", "516"},     {"[Lamp_Back]", "back", "516"}};
  for (std::size_t i = 0; i < std::size(lamps); ++i) {
    // Two rows of lamps; the reverser lamps share a column.
    const bool second = i >= 6 && i != 12 && i < 14;
    const int top = i == 15 ? 276 : i == 13 ? 276 : second ? 276 : 252;
    l.insert(l.end(), {lamps[i][0], img + "lamp_" + lamps[i][1] + ".bmp", lamps[i][2], str(top)});
  }
  // The needle pictures point at their scale's start (the ammeter's at 0 A): zero angle 0.
  needle(l, "[Needle_Speed]", img + "needle_speed.bmp", 90, 340, 120, 0, "2.25");
  needle(l, "[Needle_BC]", img + "needle_bc.bmp", 210, 391, 64, 0, "0.45");
  needle(l, "[Needle_MR]", img + "needle_mr.bmp", 300, 391, 64, 0, "0.27");
  if (!e231) needle(l, "[Needle_BP]", img + "needle_bp.bmp", 300, 391, 64, 0, "0.27");
  needle(l, "[Needle_V]", img + "needle_v.bmp", 390, 391, 64, 0, "9");
  needle(l, "[Needle_I]", img + "needle_i.bmp", 480, 391, 64, 0, "0.18");
  l.insert(l.end(), {"[NotchImageP]", "190", "299"});
  for (int p = 0; p <= 4; ++p) l.push_back(img + "p" + str(p) + ".bmp");
  l.push_back("#");
  l.insert(l.end(), {"[NotchImageB]", "190", "324"});
  for (int b = 0; b <= (e231 ? 9 : 4); ++b) l.push_back(img + "b" + str(b) + ".bmp");
  l.push_back("#");
  out.writeText(name, l);
}

}  // namespace

void writeDataFiles(const Plan& plan, const Output& out) {
  lineFile(plan, out, true);
  lineFile(plan, out, false);
  trainFile(out, true);
  trainFile(out, false);
  if (out.wants("mascon.dat")) {
    // Codes of a common controller box: P0..P6 power with brake released, N, B1..B8, EB,
    // reverser F/N/R, and its three buttons.
    std::vector<std::string> m;
    for (int p = 1; p <= 6; ++p) m.push_back("TSA" + std::to_string(p) + "5");
    m.push_back("TSA50");
    for (int b = 1; b <= 9; ++b) m.push_back("TSB" + std::to_string(b) + "0");
    m.insert(m.end(), {"TSG10", "TSG00", "TSG20", "TSX10", "TSX20", "TSX30", "#"});
    out.writeText("mascon.dat", m);
  }
  if (out.wants("dravolin.dat")) {
    out.writeText("dravolin.dat", {"Dravolin 表示文字列と設定",
                                   "[Path]",
                                   "move\\",
                                   "[Forward]",
                                   "前",
                                   "[Neutral]",
                                   "切",
                                   "[Reverse]",
                                   "後",
                                   "[Stop]",
                                   " 停車",
                                   "[Pass]",
                                   " 通過",
                                   "[Stop2]",
                                   " 停車",
                                   "[Neut]",
                                   "運転",
                                   "[Neut2]",
                                   "切",
                                   "[Apply]",
                                   "込め",
                                   "[Maintain]",
                                   "保ち",
                                   "[Hold]",
                                   "重なり",
                                   "[Hold2]",
                                   "抑速",
                                   "[EB]",
                                   "非常",
                                   "[Start]",
                                   "運転開始(&S)",
                                   "[Move]",
                                   "駅移動(&M)",
                                   "[Display]",
                                   "表示(&D)",
                                   "操作説明(&H)",
                                   "再描画(&R)",
                                   "[Control]",
                                   "コントローラ(&C)"});
  }
  if (out.wants("operation.dat")) {
    out.writeText(
        "operation.dat",
        {"操作説明",
         "",
         "【ワンハンドル車 (E231系)】",
         "  8 / z : 力行側へ    2 / a : ブレーキ側へ",
         "  5 : 切 (ノッチ・ブレーキとも戻す)    0 / q : 非常ブレーキ",
         "",
         "【2ハンドル車 (205系)】",
         "  z : 力行ノッチを上げる    a : 力行ノッチを下げる",
         "  . : ブレーキを込める    , : ブレーキを緩める    / : 非常ブレーキ",
         "  8 / 2 / 5 / 0 はワンハンドル車と同じに使えます",
         "",
         "【共通】",
         "  f : 前進    n : 中立    b : 後進 (停車中のみ)",
         "  3 : 警笛    6 : 電子警笛",
         "  スペース : ATS確認    r : 非常停止後の復帰 (停車・非常位置で)",
         "  Enter : 信号・標識の喚呼",
         "  d / 7 : ドア開閉 (ワンマン路線のみ)",
         "  1 / - : ワンマン放送を進める / 戻す",
         "  F1 : 時刻表の表示切替    F2 / F3 : 時刻表の上下",
         "  F5 : 数値表示ウインドウ",
         "  Scroll Lock : テンキーの 2 と 8 を入れ替える",
         "",
         "【EB装置と非常停止】",
         "  EB装置 (両方の車両): 文字キー・ホイール・コントローラの",
         "  操作がないまま1分走るとブザーが鳴り、その5秒後に",
         "  非常ブレーキで止まります。これらの操作で解除されます。",
         "  非常停止の後は、停車を待ってから 0、次に r で",
         "  復帰し、ブレーキを緩めます。",
         "",
         "【205系の自動ブレーキ】",
         "  . の1段目 (保ち) と2段目 (重なり) はブレーキ圧を",
         "  そのまま保つだけで、ブレーキはかかりません。",
         "  3段目 (込め) でかかり、運転 (5) で緩みます。",
         "",
         "【ATS確認】",
         "  スペースで確認できるのは、ブレーキを1段以上",
         "  かけているときで、ATSのブレーキがかかる前だけです。",
         "",
         "【調整 (Shift と一緒に)】",
         "  F1 / F2 : 自動運転 入 / 切",
         "  F5 / F6 : 100コマ戻す / 進める    F7 / F8 : 1000コマ戻す / 進める",
         "  F9 / F10 : 時計を30秒戻す / 進める    F11 / F12 : 速度を10km/h 下げる / 上げる"});
  }
  if (out.wants("readme.html")) {
    const Timetable r = timetable(plan, true), l = timetable(plan, false);
    auto clock = [](int ticks) {
      char b[16];
      std::snprintf(b, sizeof b, "%d:%02d", ticks / kTicksPerHour, ticks / 1800 % 60);
      return std::string(b);
    };
    const std::string html =
        "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"Shift_JIS\">"
        "<title>Dravolin デモ路線</title></head><body>\n"
        "<h1>Dravolin デモ路線 「さくら線」</h1>\n"
        "<p>このデモは dravolin-make-demo が毎回同じ内容で作る架空の路線です。"
        "桜ヶ丘から緑台まで4駅、約" +
        std::to_string(static_cast<int>(plan.lengthM() / 100) / 10) + "." +
        std::to_string(static_cast<int>(plan.lengthM() / 100) % 10) +
        "kmの複線で、鉄橋、トンネル、2つのカーブ、踏切があります。</p>\n"
        "<h2>車両</h2><ul>\n"
        "<li><b>E231系 快速</b> (" +
        clock(r.depart[0]) +
        " 発): ワンハンドルマスコン、"
        "電気指令式ブレーキ8段、ATS-P。中町は通過します。</li>\n"
        "<li><b>205系 各駅停車</b> (" +
        clock(l.depart[0]) +
        " 発): 2ハンドル、"
        "自動ブレーキ、ATS-S (警報と確認)。全駅に停車します。</li>\n</ul>\n"
        "<h2>運転のしかた</h2><ol>\n"
        "<li>タイトル画面で車両を選び、メニューの「運転開始」で始めます。</li>\n"
        "<li>発車時刻 (F1 で時刻表) まで待ち、ドアが閉まったらブレーキを緩めて力行します。"
        "早く発車すると先行列車に追いつき、黄色や赤の信号に出会います。</li>\n"
        "<li>制限速度 (カーブ 65km/h と 75km/h) を守り、停止位置目標に合わせて停車します。</li>\n"
        "<li>ATS のベルが鳴ったらブレーキをかけてからスペースキーで確認します。</li>\n</ol>\n"
        "<p>キー操作の一覧はメニューの「表示」→「操作説明」にあります。</p>\n</body></html>\n";
    std::string crlf;
    for (char c : data::utf8ToCp932(html)) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    out.writeBytes("readme.html", crlf);
  }
}

}  // namespace dravolin::demo
