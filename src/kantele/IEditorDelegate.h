#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kantele/IParam.h"
#include "kantele/IProcessor.h"
#include "kantele/ThreadCheck.h"

namespace kantele {

class ByteChunk;

namespace gfx {
struct KeyPress;
}

/// Where a parameter change came from; passed with every change notification.
enum EParamSource : int32_t {
  kSourceReset = 0,
  kSourceHost = 1,
  kSourcePreset = 2,
  kSourceUI = 3,
  kSourceEditorDelegate = 4,
  kSourceRecompile = 5,
  kSourceUnknown = 6,
  kNumParamSources
};

/// The trace name of a source ("Reset", "Host", "Preset", "UI", "Editor Delegate", "Recompile",
/// "Unknown"); "Unknown" also for a value outside the enumeration. [any-thread]
const char* ParamSourceName(EParamSource source);

/// The single meeting point between the plug-in side (parameters, processing, host) and its
/// editor. It owns the parameter list and the editor's size and size limits, and declares the
/// traffic in both directions: what the plug-in pushes to the editor and what the editor sends
/// back. It holds no graphics; a graphics delegate derives from it, and every plug-in object is
/// its own delegate. Where a format keeps the editor apart from the processing instance (LV2),
/// the editor's delegate is a second object of the same plug-in class: the host's values reach
/// it as they reach any delegate, and its editor-to-plug-in operations go to the host, which
/// passes them on to the processing instance. The editor cannot tell the two arrangements apart.
///
/// Threads. `OnParamChange` may run on any thread that changes a parameter (host automation, the
/// audio thread through the host's parameter callback, the editor) and must not touch the editor.
/// The `Push...ToEditor` operations run on the editor's thread only; values from other threads
/// reach them through the plug-in base's queues.
class IEditorDelegate {
 public:
  /// Creates `nParams` parameters in their default state (negative counts as 0); editor size 0
  /// by 0; size limits 10 to 100000 both ways. [main-thread] Allocates.
  explicit IEditorDelegate(int nParams);

  /// Destroys the parameters, last first.
  virtual ~IEditorDelegate();

  IEditorDelegate(const IEditorDelegate&) = delete;
  IEditorDelegate& operator=(const IEditorDelegate&) = delete;

  /// Opens the editor in `parent` and answers its native window, or null when no editor was
  /// made. Here: `OnEditorOpened`, then null. [main-thread]
  virtual void* OpenWindow(void* parent);
  /// Closes the editor. Here: `OnEditorClosing`. [main-thread]
  virtual void CloseWindow();
  /// The host resized the window holding the editor. Nothing here. [main-thread]
  virtual void OnParentResized(int width, int height);
  /// After the editor opened. Here: `SendAllParamValuesToEditor`. [main-thread]
  virtual void OnEditorOpened();
  /// Before the editor closes. Nothing here. [main-thread]
  virtual void OnEditorClosing();

  /// A parameter changed; the effect reacts here. Nothing by default. [any-thread]
  virtual void OnParamChange(int paramIdx);
  /// A parameter changed, with where the change came from: calls `OnParamChange(paramIdx)`;
  /// the source and the sample offset are not used here. [any-thread]
  virtual void OnParamChange(int paramIdx, EParamSource source, int sampleOffset);
  /// A parameter changed and the editor may show it. Nothing here. [main-thread]
  virtual void OnParamChangeInEditor(int paramIdx, EParamSource source);
  /// For every parameter in index order: `OnParamChange(i, source, -1)`, then
  /// `OnParamChangeInEditor(i, source)`. [main-thread]
  virtual void NotifyAllParamsChanged(EParamSource source);

  /// MIDI or SysEx reached the editor. Nothing here. [main-thread]
  virtual void OnMidiInEditor(const MidiMsg& msg);
  virtual void OnSysExInEditor(const SysExMsg& msg);
  /// An arbitrary message reached the editor; answers whether it was handled (false here).
  virtual bool OnEditorMessage(int msgTag, int ctrlTag, int dataSize, const void* data);
  /// The whole state was replaced (a chunk or preset restore). Here:
  /// `SendAllParamValuesToEditor`. [main-thread]
  virtual void OnStateRestored();
  /// Host key events for the editor; answer whether handled (false here). [main-thread]
  virtual bool OnKeyDown(const gfx::KeyPress& key);
  virtual bool OnKeyUp(const gfx::KeyPress& key);

  // Plug-in to editor, on the editor's thread. Defaults: nothing, or the matching `On...`.
  virtual void PushControlValueToEditor(int ctrlTag, double normalized);
  /// Here: `OnEditorMessage(msgTag, ctrlTag, dataSize, data)`.
  virtual void PushControlMsgToEditor(int ctrlTag, int msgTag, int dataSize, const void* data);
  /// Here: `OnEditorMessage(msgTag, -1, dataSize, data)`.
  virtual void PushMessageToEditor(int msgTag, int dataSize, const void* data);
  /// Here: `OnMidiInEditor`.
  virtual void PushMidiToEditor(const MidiMsg& msg);
  /// Here: `OnSysExInEditor`.
  virtual void PushSysExToEditor(const SysExMsg& msg);
  /// Here: `OnParamChangeInEditor(paramIdx, kSourceEditorDelegate)`.
  virtual void PushParamValueToEditor(int paramIdx, double value, bool isNormalized);

  // Editor to plug-in. The plug-in base supplies the ones that reach the host and the audio
  // thread.
  virtual void SendAllParamsToHost();
  /// The user starts changing a parameter (a gesture begins). Every plug-in base supplies it.
  virtual void BeginParamEditFromEditor(int paramIdx) = 0;
  /// The editor set a parameter. Here: `SetFromNormalized` on the parameter (an index outside
  /// the list does nothing), then `OnParamChangeInEditor(paramIdx, kSourceUI)`.
  virtual void ParamValueFromEditor(int paramIdx, double normalized);
  /// The gesture ends. Every plug-in base supplies it.
  virtual void EndParamEditFromEditor(int paramIdx) = 0;
  /// The editor asks for a new size; answers whether it may take it (false here).
  virtual bool ResizeFromEditor(int width, int height, bool needsHostResize);
  virtual void MidiFromEditor(const MidiMsg& msg);
  virtual void SysExFromEditor(const SysExMsg& msg);
  virtual void MessageFromEditor(int msgTag, int ctrlTag, int dataSize, const void* data);
  virtual void QueueMidiForProcessor(const MidiMsg& msg);
  virtual void QueueSysExForProcessor(const SysExMsg& msg);

  /// The editor's own state (not part of the host's chunk). Here: nothing written, true.
  virtual bool SerializeEditorState(ByteChunk& chunk) const;
  /// Here: nothing read, answers `startPos`.
  virtual int UnserializeEditorState(const ByteChunk& chunk, int startPos);
  /// The screen's scale changed. Nothing here.
  virtual void SetScreenScale(float scale);

  /// For every parameter in order: `PushParamValueToEditor(i, normalised value, true)`.
  /// [main-thread]
  void SendAllParamValuesToEditor();

  int NParams() const { return static_cast<int>(mParams.size()); }
  /// The parameter at `paramIdx`, or null for an index outside the list. [any-thread]
  IParam* GetParam(int paramIdx);
  const IParam* GetParam(int paramIdx) const;

  int GetEditorWidth() const { return mEditorWidth; }
  int GetEditorHeight() const { return mEditorHeight; }
  int GetMinWidth() const { return mMinWidth; }
  int GetMaxWidth() const { return mMaxWidth; }
  int GetMinHeight() const { return mMinHeight; }
  int GetMaxHeight() const { return mMaxHeight; }
  /// [main-thread]
  void SetEditorSize(int width, int height) {
    mEditorWidth = width;
    mEditorHeight = height;
  }
  /// Stores the limits, each pair ordered so that minimum <= maximum. [main-thread]
  void SetSizeConstraints(int widthLo, int widthHi, int heightLo, int heightHi);

 protected:
  std::vector<std::unique_ptr<IParam>> mParams;
  int32_t mEditorWidth = 0;
  int32_t mEditorHeight = 0;
  int32_t mMinWidth = 10;
  int32_t mMaxWidth = 100000;
  int32_t mMinHeight = 10;
  int32_t mMaxHeight = 100000;
  /// The editor's thread (the one that made the delegate), checked by the pushes to the editor.
  UiThreadCheck mUiThread;
};

}  // namespace kantele
