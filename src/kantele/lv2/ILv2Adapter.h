#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include "kantele/ByteChunk.h"
#include "kantele/Config.h"
#include "kantele/IAdapterBase.h"

namespace kantele {

/// What the module hands the plug-in's constructor: which of the two LV2 objects this one is,
/// and for how many channels.
///
/// LV2 makes the processing instance and the editor two objects, possibly in two processes,
/// which meet only through the host's port values. Both are the same plug-in class: the
/// processor reads the control ports and processes audio, the editor object holds the editor
/// and a copy of the parameters that the host's port events keep current. The editor and the
/// plug-in's own code are the same in both arrangements (one object in VST2 and VST3, two
/// here); only where the editor's changes go differs, and that is this adapter's business.
struct InstanceInfo {
  enum ERole : int32_t {
    kRoleProcessor = 0,  ///< the plug-in instance a host runs
    kRoleEditor = 1,     ///< the UI instance: the editor and its parameter copy
  };
  ERole mRole = kRoleProcessor;
  /// Input and output channels (one of the configuration's "n-n" layouts); 0 or a count the
  /// configuration does not accept gives the largest it does.
  int mChannels = 0;
};

/// Binds a plug-in to LV2.
///
/// Ports. The control ports come first, one input per parameter with the parameter's index as
/// port index (so every channel variant shares one editor), then the audio inputs, then the
/// audio outputs. Control ports carry real (not normalised) values.
///
/// Processing. `Run` reads every connected control port once and applies a value that changed
/// since the last run (or since a state restore) through the parameter model, which keeps it
/// within the parameter's range; NaN is ignored. Then it processes any number of frames, in
/// pieces no longer than the block size set up from the host's options (512 without).
/// Unconnected audio inputs read as silence; unconnected outputs are not written.
///
/// State. One property, `kStateChunkUri`, an atom:Chunk holding exactly the bytes of the VST2
/// program chunk (the versioned header, then `SerializeState`), so a state moves between the
/// formats. A save holds the state the next run processes with: a control port's value the
/// plug-in has not run with yet is taken first, so a host that sets a control and saves before
/// running saves what it shows. Bytes that do not parse change nothing. Without the host's URID map
/// there is no state: save and restore answer LV2_STATE_ERR_NO_FEATURE.
///
/// Editor (role kRoleEditor). Opens in the host's parent window; the host's port events set
/// the parameter copy and the editor's controls; the editor's gestures go to the host as
/// touch (begin, end) around the write function's port values. The host's idle calls drive the
/// editor's frames and the 20 ms timer.
///
/// Editor size. The editor's own size requests (its corner grip) go to the host's resize
/// feature; the description declares ui:noUserResize, since hosts size a window only when the
/// user may not (a window the user may resize keeps its size when the editor asks for a
/// smaller one), and the editor's window carries the size asked for in its size hints, which
/// embedding hosts take as its natural size. Whatever size the host then gives the editor's
/// window (the one answered as the widget), the editor takes: the largest zoom that fits,
/// centred (the Linux window layer follows the window's ConfigureNotify), and the host is not
/// asked again. The host's call of the editor's resize interface zooms the editor the same way.
///
/// Threads. `Run` is the audio thread's: it takes no lock and allocates nothing. Everything
/// else is the host's main or user-interface thread, never concurrent with `Run`
/// (LV2's instantiation and discovery classes).
class ILv2Adapter : public IAdapterBase {
 public:
  /// The API code of LV2 (`IApiBase::GetAPIName` answers "LV2" for it).
  static constexpr int kApiCode = 8;
  /// The state property holding the program chunk, and its largest accepted size.
  static constexpr const char* kStateChunkUri = "urn:kantele:lv2#programChunk";
  static constexpr int kMaxStateSize = 64 * 1024 * 1024;
  /// The block size without a block length from the host.
  static constexpr int kDefaultBlockSize = 512;

  /// Builds the plug-in base and the processing frame from `config` with `info`'s channels
  /// connected. The editor object launches the 20 ms timer. [main-thread] Allocates.
  ILv2Adapter(const InstanceInfo& info, const Config& config);
  ~ILv2Adapter() override;

  InstanceInfo::ERole GetRole() const { return mRole; }
  /// The channel count of each direction.
  int GetChannels() const { return mChannels; }
  /// Port indices: controls 0 .. NParams()-1, then inputs, then outputs.
  int FirstInputPort() const { return NParams(); }
  int FirstOutputPort() const { return NParams() + mChannels; }
  int NPorts() const { return NParams() + 2 * mChannels; }

  // The processing instance. [main-thread] unless marked.

  /// Takes the sample rate and the host's features (URID map, options with the block length),
  /// then `OnReset`. False for a rate that is not finite and positive.
  bool Instantiate(double sampleRate, const LV2_Feature* const* features);
  /// [audio-thread for audio ports in hosts that move them while running] Keeps the port's
  /// data pointer; an index outside the ports is ignored.
  void ConnectPort(uint32_t port, void* data);
  /// `OnActivate(true)`.
  void Activate();
  /// `OnActivate(false)` and `OnReset`.
  void Deactivate();
  /// [audio-thread] Never allocates or locks (ILv2Adapter_run.cpp).
  void Run(uint32_t nFrames);

  /// [any-thread but the audio thread's run: LV2 lets a save overlap a run] The parameters a
  /// pending control port value sets are set as the next run would set them; nothing else
  /// changes.
  LV2_State_Status SaveState(LV2_State_Store_Function store, LV2_State_Handle handle);
  /// A missing property answers LV2_STATE_ERR_NO_PROPERTY, a property that is not a chunk
  /// LV2_STATE_ERR_BAD_TYPE, bytes that do not parse LV2_STATE_ERR_UNKNOWN; none changes
  /// anything. A restored state holds until the host changes a control port.
  LV2_State_Status RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

  // The editor object. [main-thread: the host's user-interface thread]

  /// Opens the editor in the parent window the features name, with the host's write function,
  /// touch and resize features; answers the editor's window as the UI widget, or null when
  /// there is no parent or no editor could be made there.
  LV2UI_Widget OpenEditor(LV2UI_Write_Function write, LV2UI_Controller controller,
                          const LV2_Feature* const* features);
  /// A control port's value from the host (format 0, one float): the parameter copy and the
  /// editor take it; never echoed to the host. Anything else is ignored.
  void PortEvent(uint32_t port, uint32_t bufferSize, uint32_t format, const void* buffer);
  /// Runs the editor's due timers and window-system events; answers 0 (keep running).
  int Idle();
  /// The host gave the editor's window `width` x `height`; answers 0, or 1 when no editor is
  /// open or the size is not positive.
  int HostResized(int width, int height);

  // Host-facing operations of the framework.
  bool NotifyHostParamValue(int paramIdx, double normalized) override;
  bool NotifyHostBeginEdit(int paramIdx) override;
  bool NotifyHostEndEdit(int paramIdx) override;
  bool AskHostToResizeEditor(int width, int height) override;
  /// [audio-thread] No event ports: false.
  bool SendMidiMsg(const MidiMsg& msg) override;

 private:
  /// Whether control port `i` is connected and holds a value not yet applied (NaN never is);
  /// the value goes to `value`. [any-thread] Never allocates or locks.
  bool PendingControl(size_t i, float& value) const;
  /// [audio-thread] The connected control ports whose value changed, applied.
  void ReadControlPorts();
  /// Marks every connected control port's current value as seen. [main-thread, never during a
  /// run]
  void MarkControlPortsSeen();

  InstanceInfo::ERole mRole;
  int mChannels = 0;
  LV2_URID_Map* mMap = nullptr;
  LV2_URID mChunkType = 0;
  LV2_URID mStateKey = 0;

  // Processing: port pointers and the last value seen on each control port (NaN: none),
  // atomic since a save may read them during a run.
  std::vector<const float*> mControlPorts;
  std::unique_ptr<std::atomic<float>[]> mSeenControl;
  std::vector<const float*> mInputPorts;
  std::vector<float*> mOutputPorts;
  // The run's channel pointers as the frame takes them, allocated at construction.
  std::vector<float*> mRunInputs;
  std::vector<float*> mRunOutputs;
  ByteChunk mState{4096};

  // Editor.
  LV2UI_Write_Function mWrite = nullptr;
  LV2UI_Controller mController = nullptr;
  const LV2UI_Touch* mTouch = nullptr;
  const LV2UI_Resize* mHostResize = nullptr;
};

}  // namespace kantele
