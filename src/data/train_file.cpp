// Sections: section labels and messages; record readers; the key order; file and validation.
#include "data/train_file.h"

#include <utility>

#include "data/data_path.h"
#include "data/keyed_file.h"

namespace dravolin::data {

namespace {

// --- section labels and messages ---

LoadError trainFileError(const msg::Arg& label, const Detail& detail) {
  if (!detail) return LoadError(msg::trainFileError(label));
  return LoadError(msg::trainFileErrorDetail(label, *detail));
}

// --- record readers ---

class TrainReader {
 public:
  TrainReader(std::string bytes, LoadContext& ctx)
      : ctx_(ctx), f_(std::move(bytes), [&ctx](const KeyedFile& f, const Detail& detail) {
          // A file refused before its first line is read reports the first section.
          return trainFileError(
              f.lineNumber() == 0 ? msg::Arg(msg::trainLabelBasic()) : ctx.sectionLabel, detail);
        }) {}

  TrainFile read();

 private:
  void label(msg::Arg text) { ctx_.sectionLabel = std::move(text); }

  // "[Panel]", the lamps: file, left, top.
  void readPicture(PanelPicture& p) {
    p.file = f_.nextText();
    p.left = f_.nextInt();
    p.top = f_.nextInt();
  }

  void readNeedle(Needle& n) {
    n.file = f_.nextText();
    n.left = f_.nextInt();
    n.top = f_.nextInt();
    n.width = f_.nextInt();
    n.height = f_.nextInt();
    n.zeroAngle = f_.nextInt();
    n.anglePerUnit = f_.nextExtended();
  }

  void readNotches();
  void readGears();
  void readMotorSounds();
  void readDriveSounds();
  void readIndicator(IndicatorImages& list);
  void readOthers();

  LoadContext& ctx_;
  KeyedFile f_;
  TrainFile t_;
};

void TrainReader::readNotches() {
  std::vector<sim::NotchRow>& table = t_.params.NotchTable;
  table.clear();
  while (f_.nextListLine(ListEnd::EmptyLine)) {
    sim::NotchRow row;
    row.A = f_.lineReal();
    row.B = f_.nextReal();
    row.V1 = f_.nextInt();
    row.V2 = f_.nextInt();
    row.N = f_.nextReal();
    table.push_back(row);
  }
  const sim::TrainParams& p = t_.params;
  if (p.Engine_Type == static_cast<int>(sim::EngineType::Diesel))
    throw LoadError(msg::notchForDiesel());
  if (static_cast<int>(table.size()) != p.Power) throw LoadError(msg::notchCountMismatch());
  if (static_cast<int>(table.size()) > TrainFile::kMaxNotches)
    f_.fail(tooManyRecords(TrainFile::kMaxNotches));
  // The traction curve divides by V1, V2 and the speed, and by a power of N: a row with a
  // speed of 0, a V2 below V1 or an N of 0 would divide by zero while driving.
  for (std::size_t i = 0; i < table.size(); ++i) {
    const sim::NotchRow& r = table[i];
    if (r.V1 <= 0 || r.V2 < r.V1 || r.N == 0) {
      f_.fail(msg::notchSpeeds(i + 1));
    }
  }
}

void TrainReader::readGears() {
  // The gear count is not reset: a second "[Engine]" list adds to the first.
  std::vector<sim::GearRow>& table = t_.params.GearTable;
  const std::size_t first = table.size();
  while (f_.nextListLine(ListEnd::EmptyLine)) {
    sim::GearRow row;
    row.V0 = f_.lineInt();
    row.V1 = f_.nextInt();
    row.V2 = f_.nextInt();
    row.A0 = f_.nextReal();
    row.A1 = f_.nextReal();
    row.A2 = f_.nextReal();
    table.push_back(row);
  }
  if (t_.params.Engine_Type == static_cast<int>(sim::EngineType::Electric)) {
    throw LoadError(msg::engineForElectric());
  }
  if (static_cast<int>(table.size()) > TrainFile::kMaxGears)
    f_.fail(tooManyRecords(TrainFile::kMaxGears));
  // The interpolation divides by V1 - V0, V2 - V1 and V2 - V0: the speeds must rise.
  for (std::size_t i = first; i < table.size(); ++i) {
    const sim::GearRow& r = table[i];
    if (!(r.V0 < r.V1 && r.V1 < r.V2)) {
      f_.fail(msg::gearSpeeds(i + 1));
    }
  }
}

void TrainReader::readMotorSounds() {
  t_.MotorSound.clear();
  while (f_.nextListLine(ListEnd::EmptyLine)) {
    f_.checkRoom(t_.MotorSound.size(), TrainFile::kMaxMotorSounds);
    MotorSoundSpec m;
    m.file = std::string(f_.line());
    m.mode = f_.nextInt();
    m.speedFrom = f_.nextExtended();
    m.speedTo = f_.nextExtended();
    m.ratioFrom = f_.nextExtended();
    m.ratioTo = f_.nextExtended();
    m.volumeFrom = f_.nextExtended();
    m.volumeTo = f_.nextExtended();
    t_.MotorSound.push_back(std::move(m));
  }
}

void TrainReader::readDriveSounds() {
  t_.DriveSound.clear();
  while (f_.nextListLine(ListEnd::Fail)) {
    f_.checkRoom(t_.DriveSound.size(), TrainFile::kMaxDriveSounds);
    t_.DriveSound.emplace_back(f_.line());
  }
}

// Left and top, then bitmap files up to the closing line. Every line sets the list's size to
// that of the picture last loaded into the work bitmap, which empties the list when the size
// changes; a non-empty line first loads its bitmap and afterwards adds it.
void TrainReader::readIndicator(IndicatorImages& list) {
  list.left = f_.nextInt();
  list.top = f_.nextInt();
  while (f_.nextListLine(ListEnd::Fail)) {
    const std::string name(f_.line());
    std::optional<platform::Bitmap> bitmap;
    if (!name.empty()) {
      bitmap = ctx_.loadWorkPicture(name);
      if (!bitmap) f_.fail();
    }
    if (list.width != ctx_.workWidth || list.height != ctx_.workHeight) {
      list.bitmaps.clear();
      list.width = ctx_.workWidth;
      list.height = ctx_.workHeight;
    }
    if (bitmap) list.bitmaps.push_back(std::move(*bitmap));
  }
}

void TrainReader::readOthers() {
  t_.Others.clear();
  while (f_.nextListLine(ListEnd::EmptyLine)) {
    f_.checkRoom(t_.Others.size(), TrainFile::kMaxOthers);
    PanelPicture p;
    p.file = std::string(f_.line());
    p.left = f_.nextInt();
    p.top = f_.nextInt();
    t_.Others.push_back(std::move(p));
  }
}

// --- the key order ---

TrainFile TrainReader::read() {
  sim::TrainParams& p = t_.params;
  KeyedFile& f = f_;
  while (!f.atEnd()) {
    label(msg::trainLabelBasic());
    f.next();
    if (!f.mayBeKey()) {
      // No key matches: the label is left as a full round of tests would leave it.
      label("[Others]");
      continue;
    }
    if (f.isKey("[Handle]")) p.Handle = f.nextInt();
    if (f.isKey("[BrakeType]")) p.BrakeType = f.nextInt();
    if (f.isKey("[Brake]")) p.Brake = f.nextInt();
    if (f.isKey("[Power]")) p.Power = f.nextInt();
    if (f.isKey("[Hold]")) p.Hold = f.nextInt();
    if (f.isKey("[BrakeRate]")) p.BrakeRate = f.nextFixed();
    if (f.isKey("[PowerDelay]")) p.PowerDelay = f.nextInt();
    if (f.isKey("[BrakeDelay]")) p.BrakeDelay = f.nextInt();
    if (f.isKey("[BrakeUp]")) p.BrakeUp = f.nextInt();
    if (f.isKey("[BrakeDown]")) p.BrakeDown = f.nextInt();
    if (f.isKey("[EBPress]")) p.EBPress = f.nextInt();
    if (f.isKey("[HighAirPress]")) p.HighAirPress = f.nextInt();
    if (f.isKey("[LowAirPress]")) p.LowAirPress = f.nextInt();
    if (f.isKey("[Curr1]")) t_.Curr1 = f.nextInt();
    if (f.isKey("[Curr2]")) t_.Curr2 = f.nextInt();
    if (f.isKey("[Engine_Type]")) p.Engine_Type = f.nextInt();
    if (f.isKey("[DoorType]")) t_.DoorType = f.nextInt();
    if (f.isKey("[Mt]")) p.Mt = f.nextFixed();
    if (f.isKey("[Tt]")) t_.Tt = f.nextFixed();
    if (f.isKey("[Cars]")) {
      p.Cars = f.nextInt();
      // The gradient is averaged over one sample per car, with room for 20 cars.
      if (p.Cars < 1 || p.Cars > TrainFile::kMaxCars) f.fail(msg::carsRange());
    }
    if (f.isKey("[Tons]")) p.Tons = f.nextFixed();
    if (f.isKey("[EB]")) t_.EB = f.nextInt();
    if (f.isKey("[MaxSpeed]")) p.MaxSpeed = f.nextInt();
    if (f.isKey("[Lose_elec]")) p.Lose_elec = f.nextInt();
    if (f.isKey("[Mc]")) p.Mc = f.nextInt();
    if (f.isKey("[ATS_Type]")) t_.ATS_Type = f.nextInt();
    if (f.isKey("[ATS_Alert]")) t_.ATS_Alert = f.nextInt();
    if (f.isKey("[ATS_Time]")) t_.ATS_Time = f.nextInt();
    if (f.isKey("[ATS_Cnt]")) t_.ATS_Cnt = f.nextInt();
    if (f.isKey("[Sound_br1]")) t_.Sound_br1 = f.nextInt();
    if (f.isKey("[Sound_br2]")) t_.Sound_br2 = f.nextInt();
    if (f.isKey("[Sound_EB]")) t_.Sound_EB = f.nextInt();
    if (f.isKey("[Sound_Ats1]")) t_.Sound_Ats1 = f.nextInt();
    if (f.isKey("[Sound_Ats2]")) t_.Sound_Ats2 = f.nextInt();
    if (f.isKey("[Sound_Atc]")) t_.Sound_Atc = f.nextInt();
    if (f.isKey("[Sound_Horn]")) t_.Sound_Horn = f.nextInt();
    if (f.isKey("[Sound_Horn2]")) t_.Sound_Horn2 = f.nextInt();
    if (f.isKey("[Sound_DoorOpen]")) t_.Sound_DoorOpen = f.nextInt();
    if (f.isKey("[Sound_DoorClose]")) t_.Sound_DoorClose = f.nextInt();
    if (f.isKey("[Sound_EBring]")) t_.Sound_EBring = f.nextInt();
    if (f.isKey("[Sound_squeak]")) t_.Sound_squeak = f.nextInt();
    if (f.isKey("[CP_Start]")) t_.CP_Start = f.nextInt();
    if (f.isKey("[CP_Cnt]")) t_.CP_Cnt = f.nextInt();
    if (f.isKey("[CP_End]")) t_.CP_End = f.nextInt();
    if (f.isKey("[Stop]")) t_.Stop = f.nextInt();
    if (f.isKey("[EngineSound]")) {
      for (int& slot : t_.EngineSound) slot = f.nextInt();
    }
    if (f.isKey("[Gear_Type]")) {
      const std::string type = f.nextText();
      if (type == "AT") p.Gear_Type = static_cast<int>(sim::GearType::Automatic);
      if (type == "MT") p.Gear_Type = static_cast<int>(sim::GearType::Manual);
    }
    label("[Notch]");
    if (f.isKey("[Notch]")) readNotches();
    label("[Engine]");
    if (f.isKey("[Engine]")) readGears();
    label("[MotorSound]");
    if (f.isKey("[MotorSound]")) readMotorSounds();
    label("[DriveSound]");
    if (f.isKey("[DriveSound]")) readDriveSounds();
    label(msg::trainLabelClock());
    if (f.isKey("[Clock]")) {
      t_.Clock.x = f.nextInt();
      t_.Clock.y = f.nextInt();
      t_.Clock.handLength = f.nextInt();
    }
    label(msg::trainLabelPanel());
    if (f.isKey("[Panel]")) readPicture(t_.Panel);
    if (f.isKey("[Panel2]")) readPicture(t_.Panel2);
    if (f.isKey("[Lamp_Door]")) readPicture(t_.Lamp_Door);
    if (f.isKey("[Lamp_Power]")) readPicture(t_.Lamp_Power);
    if (f.isKey("[Lamp_EB]")) readPicture(t_.Lamp_EB);
    if (f.isKey("[Lamp_Gen]")) readPicture(t_.Lamp_Gen);
    if (f.isKey("[Lamp_Air]")) readPicture(t_.Lamp_Air);
    if (f.isKey("[Lamp_Ele]")) readPicture(t_.Lamp_Ele);
    if (f.isKey("[Lamp_Ats]")) readPicture(t_.Lamp_Ats);
    if (f.isKey("[Lamp_ATSP1]")) readPicture(t_.Lamp_ATSP1);
    if (f.isKey("[Lamp_ATSP2]")) readPicture(t_.Lamp_ATSP2);
    if (f.isKey("[Lamp_G]")) readPicture(t_.Lamp_G);
    if (f.isKey("[Lamp_YG]")) readPicture(t_.Lamp_YG);
    if (f.isKey("[Lamp_Y]")) readPicture(t_.Lamp_Y);
    if (f.isKey("[Lamp_YY]")) readPicture(t_.Lamp_YY);
    if (f.isKey("[Lamp_R]")) readPicture(t_.Lamp_R);
    if (f.isKey("[Lamp_Fwd]")) readPicture(t_.Lamp_Fwd);
    if (f.isKey("[Lamp_Back]")) readPicture(t_.Lamp_Back);
    label(msg::trainLabelSpeedometer());
    if (f.isKey("[Needle_Speed]")) readNeedle(t_.Needle_Speed);
    label(msg::trainLabelBcGauge());
    if (f.isKey("[Needle_BC]")) readNeedle(t_.Needle_BC);
    label(msg::trainLabelSapGauge());
    if (f.isKey("[Needle_SAP]")) readNeedle(t_.Needle_SAP);
    label(msg::trainLabelErGauge());
    if (f.isKey("[Needle_ER]")) readNeedle(t_.Needle_ER);
    label(msg::trainLabelBpGauge());
    if (f.isKey("[Needle_BP]")) readNeedle(t_.Needle_BP);
    label(msg::trainLabelMrGauge());
    if (f.isKey("[Needle_MR]")) readNeedle(t_.Needle_MR);
    label(msg::trainLabelVoltmeter());
    if (f.isKey("[Needle_V]")) readNeedle(t_.Needle_V);
    label(msg::trainLabelAmmeter());
    if (f.isKey("[Needle_I]")) readNeedle(t_.Needle_I);
    label("[NotchImageP]");
    if (f.isKey("[NotchImageP]")) readIndicator(t_.NotchImageP);
    label("[NotchImageB]");
    if (f.isKey("[NotchImageB]")) readIndicator(t_.NotchImageB);
    label("[GearImageList]");
    if (f.isKey("[GearImageList]")) readIndicator(t_.GearImageList);
    label("[Others]");
    if (f.isKey("[Others]")) readOthers();
  }
  return std::move(t_);
}

}  // namespace

// --- file and validation ---

TrainFile parseTrainFile(std::string bytes, LoadContext& ctx) {
  return TrainReader(std::move(bytes), ctx).read();
}

TrainFile readTrainFile(std::string_view fileName, LoadContext& ctx) {
  std::optional<std::string> bytes = ctx.readDataFile(fileName);
  if (!bytes) throw trainFileError(ctx.sectionLabel, std::nullopt);
  return parseTrainFile(std::move(*bytes), ctx);
}

void validateBrake(sim::TrainParams& params) {
  if (params.BrakeType == 0) {
    params.Brake = 4;
  } else if (params.Brake < 3) {
    throw LoadError(msg::brakeStepsTooFew());
  }
}

}  // namespace dravolin::data
