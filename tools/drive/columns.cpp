#include "tools/drive/columns.h"

#include <cstdio>
#include <map>

#include "drive/evaluation.h"

namespace dravolin::tools {
namespace {

using sim::CabModel;
using sim::TrainState;

std::string integer(long long v) { return std::to_string(v); }
std::string flag(bool v) { return v ? "1" : "0"; }
std::string fixed(sim::Fixed v) { return sim::formatFixed(v, 4); }
std::string centimetres(long double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.4Lf", v);
  return buffer;
}

using Table = std::map<std::string, ColumnFormatter, std::less<>>;

void addState(Table& t) {
  auto s = [](auto member) { return [member](const DriveView& v) { return member(*v.state); }; };
#define DRAVOLIN_INT(name) t[#name] = s([](const TrainState& x) { return integer(x.name); })
#define DRAVOLIN_FLAG(name) t[#name] = s([](const TrainState& x) { return flag(x.name); })
#define DRAVOLIN_FIXED(name) t[#name] = s([](const TrainState& x) { return fixed(x.name); })
#define DRAVOLIN_CM(name) t[#name] = s([](const TrainState& x) { return centimetres(x.name); })
  DRAVOLIN_FIXED(Speed);
  DRAVOLIN_INT(Reverser);
  DRAVOLIN_INT(PowerHandle);
  DRAVOLIN_INT(BrakeHandle);
  DRAVOLIN_INT(PowerNotch);
  DRAVOLIN_INT(BrakeNotch);
  DRAVOLIN_FLAG(PowerChangePending);
  DRAVOLIN_FLAG(BrakeChangePending);
  DRAVOLIN_INT(PowerDelayCount);
  DRAVOLIN_INT(GearShiftCount);
  DRAVOLIN_INT(BrakeDelayCount);
  DRAVOLIN_FLAG(HoldingBrake);
  DRAVOLIN_FLAG(AtsBrakeApplied);
  DRAVOLIN_FLAG(AtcBrakeApplied);
  DRAVOLIN_FIXED(BrakePressure);
  DRAVOLIN_FIXED(BpPressure);
  DRAVOLIN_FIXED(MrPressure);
  DRAVOLIN_FIXED(SapPressure);
  DRAVOLIN_FIXED(BcPressure);
  DRAVOLIN_FLAG(CompressorRunning);
  DRAVOLIN_FIXED(TractiveForce);
  DRAVOLIN_FIXED(ResistanceForce);
  DRAVOLIN_FIXED(AdhesionCoefficient);
  DRAVOLIN_FIXED(AdhesionBase);
  DRAVOLIN_FIXED(Gradient);
  DRAVOLIN_FIXED(HeadGradient);
  DRAVOLIN_INT(Gear);
  DRAVOLIN_INT(TargetGear);
  DRAVOLIN_FLAG(GearShifting);
  DRAVOLIN_CM(EngineOutput);
  DRAVOLIN_INT(FrameIndex);
  DRAVOLIN_INT(FrameAccumulator);
  DRAVOLIN_INT(FrameStep);
  DRAVOLIN_INT(SpeedUnitSegment);
  DRAVOLIN_CM(Distance);
  DRAVOLIN_CM(DistanceStep);
  DRAVOLIN_CM(NextStopDistance);
  DRAVOLIN_CM(DistanceToStop);
  DRAVOLIN_INT(ClockTicks);
  DRAVOLIN_INT(ScheduleFrame);
  DRAVOLIN_INT(PreTimeFrames);
  DRAVOLIN_FLAG(DoorsOpen);
  DRAVOLIN_FLAG(DoorCommand);
  DRAVOLIN_FIXED(LineVoltage);
  DRAVOLIN_FIXED(LineVoltageTarget);
  DRAVOLIN_INT(MotorCurrent);
  DRAVOLIN_INT(MotorCurrentTarget);
  DRAVOLIN_FLAG(AutoSpeed);
  DRAVOLIN_FLAG(AwaitingStart);
#undef DRAVOLIN_INT
#undef DRAVOLIN_FLAG
#undef DRAVOLIN_FIXED
#undef DRAVOLIN_CM
  t["WheelState"] = [](const DriveView& v) {
    return std::string(sim::wheelStateText(v.state->wheelState));
  };
}

void addCab(Table& t) {
  auto label = [&t](const char* name, sim::CabLabel CabModel::*member) {
    t[name] = [member](const DriveView& v) { return csvField((v.cab->*member).text); };
  };
  label("PowerLabel", &CabModel::PowerLabel);
  label("BrakeLabel", &CabModel::BrakeLabel);
  label("ReverserLabel", &CabModel::Label1);
  label("ClockLabel", &CabModel::Label3);
  label("StationLabel", &CabModel::Label4);
  label("SpeedLabel", &CabModel::digi_speed);
  label("CarsLabel", &CabModel::CarsLabel);
  label("GearLabel", &CabModel::GearLabel);
  label("SignalLabel", &CabModel::SignalLabel);
  label("SlopeText", &CabModel::SlopeText);
  t["Title"] = [](const DriveView& v) { return csvField(v.cab->Title); };

  auto image = [&t](const char* name, sim::CabPicture CabModel::*member) {
    t[name] = [member](const DriveView& v) { return integer((v.cab->*member).image); };
  };
  image("PowerNotchImage", &CabModel::Lamp_P);
  image("BrakeNotchImage", &CabModel::Lamp_B);
  image("SignalImage", &CabModel::SignalImage);
  image("LimitImage", &CabModel::SpeedLimitImage);
  image("SlopeImage", &CabModel::SlopeImage);
  image("OtherImage", &CabModel::OtherImage);
  image("StopMarker", &CabModel::stop);
  image("GearImage", &CabModel::Lamp_Gear);
  t["LimitVisible"] = [](const DriveView& v) { return flag(v.cab->SpeedLimitImage.visible); };
  t["Panel2"] = [](const DriveView& v) { return flag(v.cab->Panel2.visible); };
  t["StopLineTop"] = [](const DriveView& v) { return integer(v.cab->stopline.top); };
  t["CardLeft"] = [](const DriveView& v) { return integer(v.cab->Staf.left); };

  auto lamp = [&t](const char* name, sim::CabPicture CabModel::*member) {
    t[name] = [member](const DriveView& v) { return flag((v.cab->*member).visible); };
  };
  lamp("Lamp_Door", &CabModel::Lamp_Door);
  lamp("Lamp_Power", &CabModel::Lamp_Power);
  lamp("Lamp_EB", &CabModel::Lamp_EB);
  lamp("Lamp_Gen", &CabModel::Lamp_Gen);
  lamp("Lamp_Air", &CabModel::Lamp_Air);
  lamp("Lamp_Ele", &CabModel::Lamp_Ele);
  lamp("Lamp_Ats", &CabModel::Lamp_Ats);
  lamp("Lamp_Atsp1", &CabModel::Lamp_Atsp1);
  lamp("Lamp_Atsp2", &CabModel::Lamp_Atsp2);
  lamp("Lamp_G", &CabModel::Lamp_G);
  lamp("Lamp_YG", &CabModel::Lamp_YG);
  lamp("Lamp_Y", &CabModel::Lamp_Y);
  lamp("Lamp_YY", &CabModel::Lamp_YY);
  lamp("Lamp_R", &CabModel::Lamp_R);
  lamp("Lamp_Fwd", &CabModel::Lamp_Fwd);
  lamp("Lamp_Bck", &CabModel::Lamp_Bck);

  auto needle = [&t](const char* name, sim::CabNeedle CabModel::*member) {
    t[name] = [member](const DriveView& v) {
      const sim::CabNeedle& n = v.cab->*member;
      return n.exists ? integer(n.angle) : std::string();
    };
  };
  needle("Needle_Speed", &CabModel::Needle_Speed);
  needle("Needle_SAP", &CabModel::Needle_SAP);
  needle("Needle_ER", &CabModel::Needle_ER);
  needle("Needle_BP", &CabModel::Needle_BP);
  needle("Needle_MR", &CabModel::Needle_MR);
  needle("Needle_BC", &CabModel::Needle_BC);
  needle("Needle_V", &CabModel::Needle_V);
  needle("Needle_I", &CabModel::Needle_I);
}

void addProtection(Table& t) {
  auto p = [&t](const char* name, auto get) {
    t[name] = [get](const DriveView& v) { return get(*v.protection); };
  };
  using P = sim::ProtectionState;
  p("SignalCode", [](const P& x) { return integer(x.SignalCode); });
  p("ShownCode", [](const P& x) { return integer(x.ShownCode); });
  p("AtsCheck", [](const P& x) { return integer(x.AtsCheck); });
  p("AtsAlarm", [](const P& x) { return flag(x.AtsAlarm); });
  p("AtsConfirmed", [](const P& x) { return flag(x.AtsConfirmed); });
  p("AtsAcknowledged", [](const P& x) { return flag(x.AtsAcknowledged); });
  p("AtsTimer", [](const P& x) { return integer(x.AtsTimerTicks); });
  p("PatternState", [](const P& x) { return integer(x.PatternState); });
  p("EbIdle", [](const P& x) { return integer(x.EbIdleTicks); });
}

// The judgement of the drive: the station judged last and the score so far.
void addEvaluation(Table& t) {
  using drive::StationResult;
  auto latest = [](auto get) {
    return [get](const DriveView& v) -> std::string {
      const StationResult* r = v.evaluation == nullptr ? nullptr : v.evaluation->latest();
      return r == nullptr ? std::string() : get(*r);
    };
  };
  t["Eval.Station"] = latest([](const StationResult& r) { return integer(r.station); });
  t["Eval.Outcome"] = latest([](const StationResult& r) -> std::string {
    switch (r.outcome) {
      case StationResult::Outcome::Stopped:
        return "stopped";
      case StationResult::Outcome::Passed:
        return "passed";
      case StationResult::Outcome::Origin:
        return "origin";
      case StationResult::Outcome::Ahead:
        break;
    }
    return "ahead";
  });
  t["Eval.StopCm"] = latest([](const StationResult& r) { return integer(r.stopErrorCm); });
  t["Eval.ArrivalLateS"] = latest([](const StationResult& r) { return integer(r.arrivalLateS()); });
  t["Eval.DepartureLateS"] = latest([](const StationResult& r) {
    return r.departureTicks < 0 ? std::string() : integer(r.departureLateS());
  });
  t["Eval.Protection"] = latest([](const StationResult& r) { return integer(r.onTheWay.total()); });
  t["Eval.StationScore"] =
      latest([](const StationResult& r) { return integer(drive::scoreStation(r).points); });
  t["Eval.Score"] = [](const DriveView& v) {
    return v.evaluation == nullptr ? std::string() : integer(v.evaluation->score());
  };
  // How the drive would end now (complete, abandoned, not-driven), and whether it is practice.
  t["Eval.Kind"] = [](const DriveView& v) {
    return v.evaluation == nullptr ? std::string()
                                   : std::string(drive::driveKindName(v.evaluation->kind()));
  };
  t["Eval.Practice"] = [](const DriveView& v) {
    return v.evaluation == nullptr ? std::string() : flag(v.evaluation->practice());
  };
  t["Eval.Finished"] = [](const DriveView& v) {
    return v.evaluation == nullptr ? std::string() : flag(v.evaluation->finished());
  };
  auto pending = [&t](const char* name, int drive::ProtectionEvents::*member) {
    t[name] = [member](const DriveView& v) {
      return v.evaluation == nullptr ? std::string() : integer(v.evaluation->pending().*member);
    };
  };
  pending("Eval.PendingAtsAlarms", &drive::ProtectionEvents::atsAlarms);
  pending("Eval.PendingAtsBrakes", &drive::ProtectionEvents::atsBrakes);
  pending("Eval.PendingOverspeeds", &drive::ProtectionEvents::overspeeds);
  pending("Eval.PendingEmergency", &drive::ProtectionEvents::emergencyBrakes);
}

void addValues(Table& t) {
  auto value = [&t](const char* name, std::string cab::ValueDisplay::*member) {
    t[std::string("Value.") + name] = [member](const DriveView& v) {
      return csvField(v.values->*member);
    };
  };
#define DRAVOLIN_VALUE(name) value(#name, &cab::ValueDisplay::name)
  DRAVOLIN_VALUE(Speed);
  DRAVOLIN_VALUE(Acceleration);
  DRAVOLIN_VALUE(Slope);
  DRAVOLIN_VALUE(Wheel);
  DRAVOLIN_VALUE(Power);
  DRAVOLIN_VALUE(Resistance);
  DRAVOLIN_VALUE(Adhesion);
  DRAVOLIN_VALUE(AdhesionP);
  DRAVOLIN_VALUE(AdhesionB);
  DRAVOLIN_VALUE(BC);
  DRAVOLIN_VALUE(SAP);
  DRAVOLIN_VALUE(ER);
  DRAVOLIN_VALUE(MR);
  DRAVOLIN_VALUE(Frame);
  DRAVOLIN_VALUE(Projected);
  DRAVOLIN_VALUE(NextStation);
  DRAVOLIN_VALUE(Remain);
  DRAVOLIN_VALUE(Total);
#undef DRAVOLIN_VALUE
  t["Value.Gauge1"] = [](const DriveView& v) { return integer(v.values->Gauge1); };
  t["Value.Gauge2"] = [](const DriveView& v) { return integer(v.values->Gauge2); };
  t["Value.Gauge3"] = [](const DriveView& v) { return integer(v.values->Gauge3); };
  t["ValueVisible"] = [](const DriveView& v) { return flag(v.values->visible); };
}

// The line video on the cab view: the frame shown last, the share of the next frame blended
// over it (in 1/256) and how many pictures were put on it.
void addVideo(Table& t) {
  t["ShownFrame"] = [](const DriveView& v) { return integer(v.shown->lastShown()); };
  t["ShownBlend"] = [](const DriveView& v) { return integer(v.shown->lastBlend()); };
  t["FramesShown"] = [](const DriveView& v) { return integer(v.shown->presentations()); };
}

const Table& table() {
  static const Table t = [] {
    Table t;
    t["t_ms"] = [](const DriveView& v) { return integer(v.timeMs); };
    addState(t);
    addCab(t);
    addProtection(t);
    addValues(t);
    addVideo(t);
    addEvaluation(t);
    return t;
  }();
  return t;
}

}  // namespace

std::string csvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::optional<ColumnFormatter> column(std::string_view name) {
  const Table& t = table();
  auto it = t.find(name);
  if (it == t.end()) return std::nullopt;
  return it->second;
}

std::optional<std::vector<ColumnFormatter>> columns(std::string_view list, std::string& error) {
  std::vector<ColumnFormatter> result;
  std::size_t pos = 0;
  while (true) {
    const std::size_t comma = list.find(',', pos);
    const std::string_view name =
        list.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
    auto f = column(name);
    if (!f) {
      error = name.empty() ? std::string("an empty column name in --columns")
                           : "unknown column '" + std::string(name) + "'";
      return std::nullopt;
    }
    result.push_back(std::move(*f));
    if (comma == std::string_view::npos) break;
    pos = comma + 1;
  }
  return result;
}

}  // namespace dravolin::tools
