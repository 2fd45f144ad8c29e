#pragma once

// An LV2 host for tests: it reaches the plug-in only through the module's descriptors and the
// function pointers they hold, as a host does. It gives the host's features (the URID map and
// an options list), runs one processing instance over planar float audio, keeps a state
// property table for the state interface, and records what the editor object sends the host
// (port writes, touches, size requests).

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include "kantele/lv2/ILv2Adapter.h"
#include "support/TestSignal.h"

namespace kantele::test {

/// One entry of the host's options list.
struct Lv2Option {
  const char* mKey;
  const char* mType;
  std::vector<uint8_t> mValue;
};
/// An atom:Int option (or, with `type`, another type over the same four bytes); an atom:Long.
Lv2Option IntOption(const char* key, int32_t value, const char* type = nullptr);
Lv2Option LongOption(const char* key, int64_t value);

/// The features a processing instance is made with: the URID map (each URI gets the next id
/// from 1 the first time it is asked for) unless left out, and the options list when there are
/// options. They outlive every instance made with them.
class Lv2Features {
 public:
  explicit Lv2Features(bool withMap = true, std::vector<Lv2Option> options = {});
  Lv2Features(const Lv2Features&) = delete;
  Lv2Features& operator=(const Lv2Features&) = delete;

  const LV2_Feature* const* List() const { return mList.data(); }
  LV2_URID Map(const char* uri);

 private:
  std::vector<std::string> mUris;
  LV2_URID_Map mMap;
  LV2_Feature mMapFeature;
  std::vector<Lv2Option> mOptionValues;
  std::vector<LV2_Options_Option> mOptions;
  LV2_Feature mOptionsFeature;
  std::vector<const LV2_Feature*> mList;
};

/// A host's state: the properties a save stored, by key. A retrieve answers a property's
/// bytes, type and flags, and its size as stored unless `mReportedSize` says otherwise (a
/// host that claims more than it holds).
struct Lv2StateStore {
  struct Property {
    std::vector<uint8_t> mBytes;
    uint32_t mType = 0;
    uint32_t mFlags = 0;
    size_t mReportedSize = 0;
  };
  std::map<uint32_t, Property> mProperties;

  static LV2_State_Status Store(LV2_State_Handle handle, uint32_t key, const void* value,
                                size_t size, uint32_t type, uint32_t flags);
  static const void* Retrieve(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                              uint32_t* flags);
};

/// One processing instance made through `descriptor` with the host's `features` (null: none),
/// activated. Its control ports are connected to values of the host's own, set to the
/// parameters' defaults (which a host reads from the description). Deactivated and cleaned up
/// in the destructor.
class Lv2Instance {
 public:
  Lv2Instance(const LV2_Descriptor* descriptor, double rate, const LV2_Feature* const* features);
  ~Lv2Instance();
  Lv2Instance(const Lv2Instance&) = delete;
  Lv2Instance& operator=(const Lv2Instance&) = delete;

  bool Ok() const { return mHandle != nullptr; }
  /// The adapter behind the handle, for what a host cannot see (parameter values, block size).
  ILv2Adapter& Adapter() const { return *static_cast<ILv2Adapter*>(mHandle); }

  /// The host's value on control port `idx`.
  float& Control(int idx) { return mControls[static_cast<size_t>(idx)]; }
  void Connect(uint32_t port, void* data) const { mDescriptor->connect_port(mHandle, port, data); }
  /// One run of `frames` frames on the ports as they are connected.
  void Run(uint32_t frames) const { mDescriptor->run(mHandle, frames); }
  /// Connects the audio ports to the frames of `in` and `out` from `offset` (the same buffers
  /// for an in-place run) and runs `frames` frames.
  void Run(Planar<float>& in, Planar<float>& out, int offset, int frames);
  /// `in` run in runs of the lengths `runs` (repeated until the input ends), in place on a copy
  /// or not; the output.
  Planar<float> Render(Planar<float>& in, const std::vector<int>& runs, bool inPlace = false);

  LV2_State_Status Save(Lv2StateStore& store) const;
  LV2_State_Status Restore(Lv2StateStore& store) const;
  /// The framework's vendor request; -1 when the descriptor does not offer it.
  int64_t VendorRequest(int32_t tag, int64_t value, double opt) const;

 private:
  const LV2_Descriptor* mDescriptor;
  LV2_Handle mHandle = nullptr;
  std::vector<float> mControls;
};

/// The host's side of an editor object: its write function and touch and resize features,
/// recording every call, and the parent window feature.
class Lv2UiHost {
 public:
  /// Port, size, format and the value (a float, when the size is a float's).
  using Write = std::tuple<uint32_t, uint32_t, uint32_t, float>;

  Lv2UiHost();
  Lv2UiHost(const Lv2UiHost&) = delete;
  Lv2UiHost& operator=(const Lv2UiHost&) = delete;

  /// Instantiates the editor for `pluginUri` through `descriptor`, in the window `parent` (no
  /// parent feature for 0). Answers the handle and sets `widget`.
  LV2UI_Handle Instantiate(const LV2UI_Descriptor* descriptor, const char* pluginUri,
                           unsigned long parent, LV2UI_Widget* widget);

  std::vector<Write> mWrites;
  std::vector<std::pair<uint32_t, bool>> mTouches;
  std::vector<std::pair<int, int>> mResizes;
  /// What the host's resize feature answers.
  int mResizeAnswer = 0;

 private:
  LV2UI_Touch mTouch;
  LV2UI_Resize mResize;
};

}  // namespace kantele::test
