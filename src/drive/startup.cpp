// Start-up loading, in the order the drive is built:
//   1. the overlay picture "image\atsp.bmp"; progress "設定ファイルを読み込んでいます"
//   2. the data files ("mascon.dat", line file, "dravolin.dat", train file, brake validation,
//      line distances) and the station menu
//   3. progress "運転台を描画しています"; the cab panel
//   4. the line video
//   5. progress "DirectSoundオブジェクトを作成しています"; the waves
//   6. progress "サウンドを読み込んでいます"; waves into their slots, slots stopped
//   7. progress "環境をセットアップしています"; the initial state and the labels
#include "drive/startup.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include <algorithm>

#include "data/load_context.h"
#include "data/load_error.h"
#include "data/text_encoding.h"
#include "platform/message_ids.h"

namespace dravolin::drive {

namespace {

// The containers a line video may come in, in the order they are looked for: the AVI the line
// files were made for, then what cameras and phones record.
constexpr const char* kLineVideoExtensions[] = {".avi", ".mp4", ".mov", ".mkv", ".webm"};

// The line video's name as the data files give it, "[Path][DataName]" with the first extension
// whose file exists (in any letter case, as every data file is found); the ".avi" name when none
// does. Only the name chosen is looked up through `ctx`, so only it is among the files read.
std::string lineVideoName(const data::LoadContext& ctx, const std::string& stem) {
  for (const char* extension : kLineVideoExtensions) {
    const std::string name = stem + extension;
    std::error_code ec;
    if (std::filesystem::is_regular_file(
            data::resolveDataPath(ctx.dataDir, name, nullptr, ctx.listings.get()), ec)) {
      return name;
    }
  }
  return stem + kLineVideoExtensions[0];
}

using data::LoadError;
using platform::Bitmap;
using platform::SoundSlots;
using sim::CabModel;
using sim::CabPicture;

void report(const StartupProgress& progress, const msg::Message& text) {
  if (progress) progress(text.text());
}

// --- pictures ---

class PanelBuilder {
 public:
  PanelBuilder(data::LoadContext& ctx, platform::PictureLoader& loader)
      : ctx_(ctx), loader_(loader) {}

  // The picture a data file names; a picture that cannot be loaded ends the loading with its
  // name. An empty name is no picture (and no error). Every picture kept counts in the drive's
  // pixel budget, with the image lists the readers loaded.
  Bitmap load(std::string_view rawName) const {
    if (rawName.empty()) return {};
    std::optional<Bitmap> picture = loader_.load(ctx_.resolve(rawName).string());
    if (!picture) {
      throw LoadError(msg::fileNotFound(data::cp932ToUtf8(rawName)));
    }
    ctx_.countPixels(rawName, picture->width, picture->height);
    return std::move(*picture);
  }

  // A picture component sized to its own picture.
  CabPicture picture(const data::PanelPicture& entry, bool visible, bool transparent) const {
    CabPicture p;
    p.bitmap = load(entry.file);
    p.left = entry.left;
    p.top = entry.top;
    p.width = p.bitmap.width;
    p.height = p.bitmap.height;
    p.visible = visible;
    p.transparent = transparent;
    p.exists = true;
    return p;
  }

  sim::CabNeedle needle(const data::Needle& entry) const {
    sim::CabNeedle n;
    if (entry.file.empty()) return n;  // no needle of that kind
    n.bitmap = load(entry.file);
    n.exists = true;
    n.left = entry.left;
    n.top = entry.top;
    n.width = entry.width;
    n.height = entry.height;
    n.zeroAngle = entry.zeroAngle;
    n.anglePerUnit = entry.anglePerUnit;
    return n;
  }

 private:
  data::LoadContext& ctx_;
  platform::PictureLoader& loader_;
};

// An indicator drawn from its image list: at the list's left and top, sized to its images.
CabPicture indicator(const data::IndicatorImages& list) {
  CabPicture p = sim::placed(list.left, list.top, list.width, list.height);
  p.transparent = true;
  return p;
}

// The image lists move from the files into the cab model, which is where they are drawn from;
// the files keep their sizes and names.
sim::CabImageList imageList(data::IndicatorImages& list) {
  return {list.width, list.height, std::move(list.bitmaps)};
}

sim::CabImageList imageList(data::ImageList& list) {
  return {list.cellWidth, list.cellHeight, std::move(list.images)};
}

void buildPanel(data::DriveFiles& files, const PanelBuilder& b, CabModel& cab) {
  const data::TrainFile& t = files.train;
  constexpr bool kVisible = true, kHidden = false, kTransparent = true, kOpaque = false;

  cab.Panel = b.picture(t.Panel, kVisible, kOpaque);
  cab.Panel2 = b.picture(t.Panel2, kHidden, kOpaque);

  if (t.Clock.x > 0 && t.Clock.y > 0) {
    cab.clock.exists = true;
    cab.clock.left = t.Clock.x - 25;
    cab.clock.top = t.Clock.y - 25;
    cab.clock.handLength = t.Clock.handLength;
  }

  // The lamps in their creation order; Lamp_EB is hidden once the sounds are in place.
  cab.Lamp_Door = b.picture(t.Lamp_Door, kVisible, kTransparent);
  cab.Lamp_Power = b.picture(t.Lamp_Power, kVisible, kTransparent);
  cab.Lamp_EB = b.picture(t.Lamp_EB, kVisible, kOpaque);
  cab.Lamp_Gen = b.picture(t.Lamp_Gen, kVisible, kOpaque);
  cab.Lamp_Air = b.picture(t.Lamp_Air, kVisible, kOpaque);
  cab.Lamp_Ele = b.picture(t.Lamp_Ele, kVisible, kTransparent);
  cab.Lamp_Ats = b.picture(t.Lamp_Ats, kHidden, kOpaque);
  cab.Lamp_Atsp1 = b.picture(t.Lamp_ATSP1, kHidden, kOpaque);
  cab.Lamp_Atsp2 = b.picture(t.Lamp_ATSP2, kHidden, kOpaque);
  cab.Lamp_G = b.picture(t.Lamp_G, kHidden, kTransparent);
  cab.Lamp_YG = b.picture(t.Lamp_YG, kHidden, kTransparent);
  cab.Lamp_Y = b.picture(t.Lamp_Y, kHidden, kTransparent);
  cab.Lamp_YY = b.picture(t.Lamp_YY, kHidden, kTransparent);
  cab.Lamp_R = b.picture(t.Lamp_R, kHidden, kTransparent);
  cab.Lamp_Fwd = b.picture(t.Lamp_Fwd, kHidden, kTransparent);
  cab.Lamp_Bck = b.picture(t.Lamp_Back, kHidden, kTransparent);

  cab.Lamp_P = indicator(t.NotchImageP);
  cab.Lamp_B = indicator(t.NotchImageB);
  cab.Lamp_Gear = indicator(t.GearImageList);
  cab.NotchImageP = imageList(files.train.NotchImageP);
  cab.NotchImageB = imageList(files.train.NotchImageB);
  cab.GearImageList = imageList(files.train.GearImageList);

  cab.Needle_Speed = b.needle(t.Needle_Speed);
  cab.Needle_SAP = b.needle(t.Needle_SAP);
  cab.Needle_ER = b.needle(t.Needle_ER);
  cab.Needle_BP = b.needle(t.Needle_BP);
  cab.Needle_MR = b.needle(t.Needle_MR);
  cab.Needle_BC = b.needle(t.Needle_BC);
  cab.Needle_V = b.needle(t.Needle_V);
  cab.Needle_I = b.needle(t.Needle_I);

  // The first five extra images start visible, the rest hidden (the display tick shows them).
  constexpr std::size_t kFirstHiddenOther = 5;
  cab.Others.clear();
  for (std::size_t i = 0; i < t.Others.size(); ++i) {
    cab.Others.push_back(b.picture(t.Others[i], i < kFirstHiddenOther, kTransparent));
  }

  // The timetable card waits just outside the 640-pixel window.
  if (!files.line.timetableImageFile.empty()) {
    cab.Staf = b.picture({files.line.timetableImageFile, 640, 0}, kVisible, kOpaque);
  }

  cab.SignalImages = imageList(files.line.signalImages);
  cab.SignImages = imageList(files.line.signImages);
  cab.OtherImages = imageList(files.line.otherImages);
}

// --- sounds ---

// One sound of the layout: its slot and its file (raw name; empty: the slot stays empty).
struct SlotSound {
  int slot;
  std::string_view file;
};

// Every sound of the drive in group order: drive, line, announcements, other indications, motor.
std::vector<SlotSound> slotSounds(const data::DriveFiles& files, const SoundLayout& layout) {
  const data::TrainFile& t = files.train;
  const data::LineFile& l = files.line;
  std::vector<SlotSound> out;
  for (int i = 0; i < layout.D; ++i) out.push_back({i, t.DriveSound[i]});
  for (int i = 0; i < layout.S; ++i) out.push_back({layout.lineSound(i), l.soundData[i]});
  for (int j = 0; j < layout.K; ++j) {
    const std::string_view file = j < data::kFixedAnnouncements
                                      ? std::string_view(l.kankoSound1[j])
                                      : l.kankoSound2[j - data::kFixedAnnouncements].soundFile;
    out.push_back({layout.announcement(j), file});
  }
  for (int i = 0; i < layout.O; ++i) {
    out.push_back({layout.otherSound(i), l.otherImageRecords[i].soundFile});
  }
  for (int i = 0; i < layout.M; ++i)
    out.push_back({SoundLayout::motorSound(i), t.MotorSound[i].file});
  return out;
}

}  // namespace

std::vector<StationMenuEntry> stationMenuEntries(const std::vector<sim::StationRecord>& stations) {
  std::vector<StationMenuEntry> entries;
  for (std::size_t i = 0; i + 1 < stations.size(); ++i) {
    const sim::StationRecord& s = stations[i];
    if (s.type != 0 && s.type != 2) continue;
    entries.push_back({"Sta" + std::to_string(i), s.nameUtf8, static_cast<int>(i)});
  }
  return entries;
}

void checkSoundLayout(const SoundLayout& layout) {
  const long long belowMotor = static_cast<long long>(layout.D) + layout.S + layout.K + layout.O;
  const long long motorEnd = static_cast<long long>(SoundLayout::kFirstMotorSlot) + layout.M;
  if (belowMotor > SoundSlots::kSlotCount || motorEnd > SoundSlots::kSlotCount) {
    throw LoadError(msg::tooManySoundSlots());
  }
  // A motor sound would take the slot of a drive, line, announcement or other-indication sound.
  if (layout.M > 0 && belowMotor > SoundLayout::kFirstMotorSlot) {
    throw LoadError(msg::soundsOverlapMotorSlots());
  }
}

DriveData loadDriveData(const LoadRequest& request, const StartupServices& services,
                        const StartupProgress& progress) {
  DriveData d;
  data::LoadContext ctx;
  ctx.dataDir = request.dataDir;
  ctx.listings = std::make_shared<data::FolderListings>();
  ctx.pictures = &services.pictures;
  ctx.resolvedFiles = std::make_shared<std::vector<std::filesystem::path>>();
  const PanelBuilder pictures(ctx, services.pictures);

  // The overlay picture is never drawn, but a drive without it is not complete.
  pictures.load(kAtsOverlayPicture);

  report(progress, msg::progressReadingFiles());
  d.files = data::readDriveFiles(request.trainFile, request.lineFile, ctx);
  d.stationMenu = stationMenuEntries(d.files.line.stations);

  report(progress, msg::progressBuildingPanel());
  buildPanel(d.files, pictures, d.cab);

  // The line video is optional: without it the cab view shows no picture.
  if (services.video != nullptr) {
    const std::string video = lineVideoName(ctx, d.files.settings.Path + d.files.line.dataName);
    d.videoPath = ctx.resolve(video);
    d.videoFrameCount =
        services.video->open(d.videoPath.string()) ? services.video->frameCount() : -1;
  }

  report(progress, msg::progressCreatingSound());
  d.sounds = data::soundLayout(d.files.train, d.files.line);
  checkSoundLayout(d.sounds);
  const std::vector<SlotSound> sounds = slotSounds(d.files, d.sounds);
  std::vector<SoundSlots::WaveId> waves;
  waves.reserve(sounds.size());
  for (const SlotSound& s : sounds) {
    waves.push_back(s.file.empty() ? SoundSlots::kNoWave
                                   : services.sounds.loadWave(ctx.resolve(s.file).string()));
  }

  report(progress, msg::progressLoadingSounds());
  std::vector<bool> used(SoundSlots::kSlotCount, false);
  for (std::size_t i = 0; i < sounds.size(); ++i) {
    services.sounds.assign(sounds[i].slot, waves[i]);
    used[static_cast<std::size_t>(sounds[i].slot)] = true;
  }
  // A sound key that names a slot outside the layout stays silent, whatever an earlier drive
  // left there.
  for (int slot = 0; slot < SoundSlots::kSlotCount; ++slot) {
    if (!used[static_cast<std::size_t>(slot)]) services.sounds.assign(slot, SoundSlots::kNoWave);
  }
  // The other-indication slots are left as they are.
  for (int slot = 0; slot < d.sounds.otherSound(0); ++slot) services.sounds.stop(slot);
  for (int i = 0; i < d.sounds.M; ++i) services.sounds.stop(SoundLayout::motorSound(i));
  d.cab.Lamp_EB.visible = false;

  report(progress, msg::progressSettingUp());
  const data::TrainFile& t = d.files.train;
  d.state = sim::loadState(t.params, d.files.line.params);
  d.cab.GearLabel.visible = t.params.diesel();
  d.cab.GearLabel.text = msg::gearConverter().text();
  services.sounds.setOutputFormat(kOutputRateHz, kOutputBits, false);
  d.cab.Label4.text =
      d.files.line.stations.empty() ? std::string() : d.files.line.stations.front().nameUtf8;
  // The distance to the stop counts from the first station's stop position, as after a move to
  // a station; Distance starts at the start position's distance from the line's origin.
  if (!d.files.line.stations.empty()) {
    d.state.NextStopDistance = d.files.line.stations.front().stopDistance;
    d.state.DistanceToStop = d.state.NextStopDistance - d.state.Distance;
  }
  d.cab.Label1.text = d.files.settings.Forward;
  d.cab.CarsLabel.text = msg::carsLabel(t.params.Cars).text();
  for (const std::filesystem::path& p : *ctx.resolvedFiles) {
    if (std::find(d.filesRead.begin(), d.filesRead.end(), p) == d.filesRead.end()) {
      d.filesRead.push_back(p);
    }
  }
  return d;
}

}  // namespace dravolin::drive
