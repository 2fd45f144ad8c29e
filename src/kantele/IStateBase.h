#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kantele/ByteChunk.h"
#include "kantele/Config.h"
#include "kantele/IEditorDelegate.h"
#include "kantele/gfx/IGfxEditorDelegate.h"

namespace kantele {

/// The longest preset name, in bytes; names are cut to it without splitting a UTF-8 character.
constexpr int kMaxPresetNameLen = 255;

/// One preset: a named, stored copy of the plug-in's state.
struct PresetSlot {
  bool mInitialized = false;               ///< whether `mChunk` holds a state
  char mName[kMaxPresetNameLen + 1] = {};  ///< zero-terminated
  ByteChunk mChunk;                        ///< the state as `SerializeState` writes it

  /// Copies `name` (null counts as empty), cut to `kMaxPresetNameLen` bytes.
  void SetName(const char* name);
};

/// The plug-in's saveable state and its presets.
///
/// The state is the list of parameter values, written by `SerializeParams` as one 8-byte double
/// per parameter in index order and nothing else. A bank holds every preset: its name as a
/// length-prefixed text, its initialised flag as one byte and, when set, its stored state. The
/// host keeps both as opaque chunks (behind the versioned header of `ByteChunk`) and hands them
/// back later, possibly truncated or damaged: every reader here stops where the bytes run out
/// and reports it with the position -1.
///
/// Threads. Everything runs on the thread that calls the host dispatcher. Parameter values are
/// set through their atomic store, so the audio thread never sees a torn value, but it can see
/// a restore half applied between parameters. No lock is taken.
class IStateBase : public gfx::IGfxEditorDelegate {
 public:
  /// Creates the parameters (see `IEditorDelegate`) and `config.mNPresets` presets, each free,
  /// named "empty" with an empty chunk. The current preset is 0. [main-thread] Allocates.
  explicit IStateBase(const Config& config);
  ~IStateBase() override;

  /// Appends the state to `chunk`; answers whether every append succeeded. Here:
  /// `SerializeParams`.
  virtual bool SerializeState(ByteChunk& chunk) const;
  /// Reads a state at `startPos`; answers the position after it, or -1 when the data ran out.
  /// Here: `UnserializeParams`.
  virtual int UnserializeState(const ByteChunk& chunk, int startPos);
  /// Tells the host that names or displays changed. Nothing here; the host adapter supplies it.
  virtual void NotifyHostDisplayChanged();
  /// A preset was made current or renamed. Nothing here.
  virtual void OnPresetsModified();

  /// Appends each parameter's value as a double, in index order. Answers true when every append
  /// succeeded (true also without parameters).
  bool SerializeParams(ByteChunk& chunk) const;

  /// For each parameter in index order while the position is valid: reads a double (0.0 when
  /// the data runs out) and sets the parameter from it (quantised and clamped), so the parameter
  /// at which the data runs out is set from 0.0 and the ones after it keep their values. Then
  /// notifies every parameter with `kSourcePreset`, also after a failure. Answers the position
  /// after the last value read, or -1 when the data ran out. Bytes after the last parameter's
  /// value are not read.
  int UnserializeParams(const ByteChunk& chunk, int startPos);

  /// Appends every preset: name, initialised flag, and the stored state when initialised.
  /// Answers whether every preset was written.
  bool SerializePresets(ByteChunk& chunk) const;

  /// Reads a bank written by `SerializePresets` at `startPos`, preset by preset while the
  /// position is valid: the name (when the name's bytes run out, the preset takes the name read
  /// last, or the empty name for the first), the flag, and when set the state, which goes
  /// through the live parameters and is then stored back quantised and clamped. Presets after
  /// the point where the data ran out keep their contents. Finally restores the current preset.
  /// Answers the position after the bank, or -1 when the data ran out.
  int UnserializePresets(const ByteChunk& chunk, int startPos);

  /// The program chunk every format stores: the versioned header, then `SerializeState`.
  /// Answers whether every append succeeded.
  bool GetProgramChunk(ByteChunk& chunk) const;
  /// Applies a program chunk: the current preset takes the state and `OnStateRestored` runs.
  /// Bytes that do not parse put the state from before back and answer false.
  bool SetProgramChunk(const ByteChunk& chunk);

  /// Makes preset `idx` current. An initialised preset is read into the parameters; a free one
  /// is initialised from the current parameters and named "user preset N" (N = 1 + the number of
  /// presets whose name contains "user preset"). On success the index becomes current and
  /// `OnPresetsModified`, then `OnStateRestored` run. An index outside the presets, or a state
  /// that cannot be read, answers false and leaves the current index as it was.
  bool RestorePreset(int idx);

  /// Stores the current parameters into the current preset and, when `name` is given and not
  /// empty, renames it (cut to `kMaxPresetNameLen` bytes). The initialised flag is not touched.
  void ModifyCurrentPreset(const char* name = nullptr);

  /// Initialises the first free preset from the current parameters under `name`; nothing when
  /// every preset is initialised.
  void InitFirstFreePreset(const char* name);

  int GetCurrentPresetIndex() const { return mCurrentPresetIdx; }
  int NPresets() const { return static_cast<int>(mPresets.size()); }
  /// The preset's name, or "" for an index outside the presets.
  const char* GetPresetName(int idx) const;
  /// The preset at `idx`, or null.
  const PresetSlot* GetPreset(int idx) const;
  /// Whether the host saves this plug-in's state through the chunk calls.
  bool DoesStateChunks() const { return mStateChunks; }

 protected:
  int32_t mCurrentPresetIdx = 0;
  bool mStateChunks = false;
  std::vector<std::unique_ptr<PresetSlot>> mPresets;
};

}  // namespace kantele
