#pragma once

// The VST 2.4 plug-in interface as this project uses it: the records, the
// dispatcher and host opcodes and the constants of the published interface,
// declared here so that neither the plug-in nor the hosts in this repository
// depend on third-party headers. Every record layout is pinned with
// static_asserts (sizes and the offsets hosts rely on) for both compilers we
// build with, g++ on Linux x86-64 and MinGW-w64 on Windows x86-64.
//
// The published interface packs its records with 8-byte alignment, which on
// x86-64 is every member's natural alignment; plain declarations therefore give
// the binary layout, and the asserts prove it.
//
// Identifiers keep the interface's own names so that a reader can match them to
// its documentation.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define KANTELE_VST_CALL __cdecl
#else
#define KANTELE_VST_CALL
#endif

namespace kantele {
namespace vst2 {

using VstInt16 = int16_t;
using VstInt32 = int32_t;
using VstIntPtr = intptr_t;

struct AEffect;

using audioMasterCallback = VstIntPtr(KANTELE_VST_CALL*)(AEffect* effect, VstInt32 opcode,
                                                         VstInt32 index, VstIntPtr value, void* ptr,
                                                         float opt);
using AEffectDispatcherProc = VstIntPtr(KANTELE_VST_CALL*)(AEffect* effect, VstInt32 opcode,
                                                           VstInt32 index, VstIntPtr value,
                                                           void* ptr, float opt);
using AEffectProcessProc = void(KANTELE_VST_CALL*)(AEffect* effect, float** inputs, float** outputs,
                                                   VstInt32 sampleFrames);
using AEffectProcessDoubleProc = void(KANTELE_VST_CALL*)(AEffect* effect, double** inputs,
                                                         double** outputs, VstInt32 sampleFrames);
using AEffectSetParameterProc = void(KANTELE_VST_CALL*)(AEffect* effect, VstInt32 index,
                                                        float parameter);
using AEffectGetParameterProc = float(KANTELE_VST_CALL*)(AEffect* effect, VstInt32 index);

/// The entry point's type: the host passes its callback and receives the
/// effect record (null when the plug-in could not be made).
using VstPluginMainProc = AEffect*(KANTELE_VST_CALL*)(audioMasterCallback host);

/// Four-character constant as the interface writes it ('VstP' = 0x56737450).
constexpr VstInt32 FourCC(char a, char b, char c, char d) {
  return static_cast<VstInt32>((static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
                               (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
                               (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) |
                               static_cast<uint32_t>(static_cast<uint8_t>(d)));
}

constexpr VstInt32 kEffectMagic = FourCC('V', 's', 't', 'P');

/// The effect record the host holds for one plug-in instance.
struct AEffect {
  VstInt32 magic;
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process;  ///< deprecated accumulating callback
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 numInputs;
  VstInt32 numOutputs;
  VstInt32 flags;
  VstIntPtr resvd1;
  VstIntPtr resvd2;
  VstInt32 initialDelay;
  VstInt32 realQualities;  ///< deprecated
  VstInt32 offQualities;   ///< deprecated
  float ioRatio;           ///< deprecated
  void* object;
  void* user;
  VstInt32 uniqueID;
  VstInt32 version;
  AEffectProcessProc processReplacing;
  AEffectProcessDoubleProc processDoubleReplacing;
  char future[56];
};

enum VstAEffectFlags : VstInt32 {
  effFlagsHasEditor = 1 << 0,
  effFlagsCanMono = 1 << 3,  ///< deprecated
  effFlagsCanReplacing = 1 << 4,
  effFlagsProgramChunks = 1 << 5,
  effFlagsIsSynth = 1 << 8,
  effFlagsNoSoundInStop = 1 << 9,
  effFlagsCanDoubleReplacing = 1 << 12,
};

/// Dispatcher opcodes (host to plug-in).
enum AEffectOpcodes : VstInt32 {
  effOpen = 0,
  effClose,
  effSetProgram,
  effGetProgram,
  effSetProgramName,
  effGetProgramName,
  effGetParamLabel,
  effGetParamDisplay,
  effGetParamName,
  effGetVu,  ///< deprecated
  effSetSampleRate,
  effSetBlockSize,
  effMainsChanged,
  effEditGetRect,
  effEditOpen,
  effEditClose,
  effEditDraw,   ///< deprecated
  effEditMouse,  ///< deprecated
  effEditKey,    ///< deprecated
  effEditIdle,
  effEditTop,    ///< deprecated
  effEditSleep,  ///< deprecated
  effIdentify,   ///< deprecated
  effGetChunk,
  effSetChunk,
  effProcessEvents,
  effCanBeAutomated,
  effString2Parameter,
  effGetNumProgramCategories,  ///< deprecated
  effGetProgramNameIndexed,
  effCopyProgram,    ///< deprecated
  effConnectInput,   ///< deprecated
  effConnectOutput,  ///< deprecated
  effGetInputProperties,
  effGetOutputProperties,
  effGetPlugCategory,
  effGetCurrentPosition,    ///< deprecated
  effGetDestinationBuffer,  ///< deprecated
  effOfflineNotify,
  effOfflinePrepare,
  effOfflineRun,
  effProcessVarIo,
  effSetSpeakerArrangement,
  effSetBlockSizeAndSampleRate,  ///< deprecated
  effSetBypass,
  effGetEffectName,
  effGetErrorText,  ///< deprecated
  effGetVendorString,
  effGetProductString,
  effGetVendorVersion,
  effVendorSpecific,
  effCanDo,
  effGetTailSize,
  effIdle,             ///< deprecated
  effGetIcon,          ///< deprecated
  effSetViewPosition,  ///< deprecated
  effGetParameterProperties,
  effKeysRequired,  ///< deprecated
  effGetVstVersion,
  effEditKeyDown,
  effEditKeyUp,
  effSetEditKnobMode,
  effGetMidiProgramName,
  effGetCurrentMidiProgram,
  effGetMidiProgramCategory,
  effHasMidiProgramsChanged,
  effGetMidiKeyName,
  effBeginSetProgram,
  effEndSetProgram,
  effGetSpeakerArrangement,
  effShellGetNextPlugin,
  effStartProcess,
  effStopProcess,
  effSetTotalSampleToProcess,
  effSetPanLaw,
  effBeginLoadBank,
  effBeginLoadProgram,
  effSetProcessPrecision,
  effGetNumMidiInputChannels,
  effGetNumMidiOutputChannels,
};
static_assert(effEditIdle == 19 && effIdentify == 22 && effGetChunk == 23, "opcode numbering");
static_assert(effGetInputProperties == 33 && effSetSpeakerArrangement == 42, "opcode numbering");
static_assert(effGetEffectName == 45 && effCanDo == 51 && effGetParameterProperties == 56,
              "opcode numbering");
static_assert(effEditKeyDown == 59 && effGetMidiKeyName == 66 && effGetSpeakerArrangement == 69,
              "opcode numbering");
static_assert(effGetNumMidiOutputChannels == 79, "opcode numbering");

/// Host opcodes (plug-in to host).
enum AudioMasterOpcodes : VstInt32 {
  audioMasterAutomate = 0,
  audioMasterVersion,
  audioMasterCurrentId,
  audioMasterIdle,
  audioMasterPinConnected,  ///< deprecated
  audioMasterUnused5,
  audioMasterWantMidi,  ///< deprecated
  audioMasterGetTime,
  audioMasterProcessEvents,
  audioMasterSetTime,                      ///< deprecated
  audioMasterTempoAt,                      ///< deprecated
  audioMasterGetNumAutomatableParameters,  ///< deprecated
  audioMasterGetParameterQuantization,     ///< deprecated
  audioMasterIOChanged,
  audioMasterNeedIdle,  ///< deprecated
  audioMasterSizeWindow,
  audioMasterGetSampleRate,
  audioMasterGetBlockSize,
  audioMasterGetInputLatency,
  audioMasterGetOutputLatency,
  audioMasterGetPreviousPlug,          ///< deprecated
  audioMasterGetNextPlug,              ///< deprecated
  audioMasterWillReplaceOrAccumulate,  ///< deprecated
  audioMasterGetCurrentProcessLevel,
  audioMasterGetAutomationState,
  audioMasterOfflineStart,
  audioMasterOfflineRead,
  audioMasterOfflineWrite,
  audioMasterOfflineGetCurrentPass,
  audioMasterOfflineGetCurrentMetaPass,
  audioMasterSetOutputSampleRate,          ///< deprecated
  audioMasterGetOutputSpeakerArrangement,  ///< deprecated
  audioMasterGetVendorString,
  audioMasterGetProductString,
  audioMasterGetVendorVersion,
  audioMasterVendorSpecific,
  audioMasterSetIcon,  ///< deprecated
  audioMasterCanDo,
  audioMasterGetLanguage,
  audioMasterOpenWindow,   ///< deprecated
  audioMasterCloseWindow,  ///< deprecated
  audioMasterGetDirectory,
  audioMasterUpdateDisplay,
  audioMasterBeginEdit,
  audioMasterEndEdit,
  audioMasterOpenFileSelector,
  audioMasterCloseFileSelector,
  audioMasterEditFile,                    ///< deprecated
  audioMasterGetChunkFile,                ///< deprecated
  audioMasterGetInputSpeakerArrangement,  ///< deprecated
};
static_assert(audioMasterGetTime == 7 && audioMasterIOChanged == 13 &&
                  audioMasterSizeWindow == 15 && audioMasterGetCurrentProcessLevel == 23,
              "host opcode numbering");
static_assert(audioMasterGetProductString == 33 && audioMasterGetVendorVersion == 34 &&
                  audioMasterUpdateDisplay == 42 && audioMasterEndEdit == 44 &&
                  audioMasterGetInputSpeakerArrangement == 49,
              "host opcode numbering");

/// Text buffer sizes, terminating zero included, that the interface defines for
/// the host's buffers.
enum VstStringConstants : VstInt32 {
  kVstMaxProgNameLen = 24,
  kVstMaxParamStrLen = 8,
  kVstMaxVendorStrLen = 64,
  kVstMaxProductStrLen = 64,
  kVstMaxEffectNameLen = 32,
};
enum Vst2StringConstants : VstInt32 {
  kVstMaxNameLen = 64,
  kVstMaxLabelLen = 64,
  kVstMaxShortLabelLen = 8,
  kVstMaxCategLabelLen = 24,
  kVstMaxFileNameLen = 100,
};

enum VstPlugCategory : VstInt32 {
  kPlugCategUnknown = 0,
  kPlugCategEffect,
  kPlugCategSynth,
  kPlugCategAnalysis,
  kPlugCategMastering,
  kPlugCategSpacializer,
  kPlugCategRoomFx,
  kPlugSurroundFx,
  kPlugCategRestoration,
  kPlugCategOfflineProcess,
  kPlugCategShell,
  kPlugCategGenerator,
};

enum VstProcessLevels : VstInt32 {
  kVstProcessLevelUnknown = 0,
  kVstProcessLevelUser,
  kVstProcessLevelRealtime,
  kVstProcessLevelPrefetch,
  kVstProcessLevelOffline,
};

/// The host's transport, returned by audioMasterGetTime.
struct VstTimeInfo {
  double samplePos;
  double sampleRate;
  double nanoSeconds;
  double ppqPos;
  double tempo;
  double barStartPos;
  double cycleStartPos;
  double cycleEndPos;
  VstInt32 timeSigNumerator;
  VstInt32 timeSigDenominator;
  VstInt32 smpteOffset;
  VstInt32 smpteFrameRate;
  VstInt32 samplesToNextClock;
  VstInt32 flags;
};

enum VstTimeInfoFlags : VstInt32 {
  kVstTransportChanged = 1,
  kVstTransportPlaying = 1 << 1,
  kVstTransportCycleActive = 1 << 2,
  kVstTransportRecording = 1 << 3,
  kVstAutomationWriting = 1 << 6,
  kVstAutomationReading = 1 << 7,
  kVstNanosValid = 1 << 8,
  kVstPpqPosValid = 1 << 9,
  kVstTempoValid = 1 << 10,
  kVstBarsValid = 1 << 11,
  kVstCyclePosValid = 1 << 12,
  kVstTimeSigValid = 1 << 13,
  kVstSmpteValid = 1 << 14,
  kVstClockValid = 1 << 15,
};

/// A generic event; `type` says which record it really is.
struct VstEvent {
  VstInt32 type;
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;
  char data[16];
};

enum VstEventTypes : VstInt32 {
  kVstMidiType = 1,
  kVstAudioType,      ///< deprecated
  kVstVideoType,      ///< deprecated
  kVstParameterType,  ///< deprecated
  kVstTriggerType,    ///< deprecated
  kVstSysExType,
};

/// A list of events; the interface declares two pointers, hosts allocate as many
/// as `numEvents` needs.
struct VstEvents {
  VstInt32 numEvents;
  VstIntPtr reserved;
  VstEvent* events[2];
};

struct VstMidiEvent {
  VstInt32 type;
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;
  VstInt32 noteLength;
  VstInt32 noteOffset;
  char midiData[4];
  char detune;
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};

struct VstMidiSysexEvent {
  VstInt32 type;
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;
  VstInt32 dumpBytes;
  VstIntPtr resvd1;
  char* sysexDump;
  VstIntPtr resvd2;
};

/// Editor bounds.
struct ERect {
  VstInt16 top;
  VstInt16 left;
  VstInt16 bottom;
  VstInt16 right;
};

struct VstPinProperties {
  char label[kVstMaxLabelLen];
  VstInt32 flags;
  VstInt32 arrangementType;
  char shortLabel[kVstMaxShortLabelLen];
  char future[48];
};

enum VstPinPropertiesFlags : VstInt32 {
  kVstPinIsActive = 1 << 0,
  kVstPinIsStereo = 1 << 1,
  kVstPinUseSpeaker = 1 << 2,
};

struct VstParameterProperties {
  float stepFloat;
  float smallStepFloat;
  float largeStepFloat;
  char label[kVstMaxLabelLen];
  VstInt32 flags;
  VstInt32 minInteger;
  VstInt32 maxInteger;
  VstInt32 stepInteger;
  VstInt32 largeStepInteger;
  char shortLabel[kVstMaxShortLabelLen];
  VstInt16 displayIndex;
  VstInt16 category;
  VstInt16 numParametersInCategory;
  VstInt16 reserved;
  char categoryLabel[kVstMaxCategLabelLen];
  char future[16];
};

enum VstParameterFlags : VstInt32 {
  kVstParameterIsSwitch = 1 << 0,
  kVstParameterUsesIntegerMinMax = 1 << 1,
  kVstParameterUsesFloatStep = 1 << 2,
  kVstParameterUsesIntStep = 1 << 3,
  kVstParameterSupportsDisplayIndex = 1 << 4,
  kVstParameterSupportsDisplayCategory = 1 << 5,
  kVstParameterCanRamp = 1 << 6,
};

struct VstSpeakerProperties {
  float azimuth;
  float elevation;
  float radius;
  float reserved;
  char name[kVstMaxNameLen];
  VstInt32 type;
  char future[28];
};

struct VstSpeakerArrangement {
  VstInt32 type;
  VstInt32 numChannels;
  VstSpeakerProperties speakers[8];
};

enum VstSpeakerArrangementType : VstInt32 {
  kSpeakerArrUserDefined = -2,
  kSpeakerArrEmpty = -1,
  kSpeakerArrMono = 0,
  kSpeakerArrStereo = 1,
};

struct MidiKeyName {
  VstInt32 thisProgramIndex;
  VstInt32 thisKeyNumber;
  char keyName[kVstMaxNameLen];
  VstInt32 reserved;
  VstInt32 flags;
};

/// Modifier bits of the key events' opt argument.
enum VstModifierKey : VstInt32 {
  MODIFIER_SHIFT = 1 << 0,
  MODIFIER_ALTERNATE = 1 << 1,
  MODIFIER_COMMAND = 1 << 2,
  MODIFIER_CONTROL = 1 << 3,
};

/// The interface's virtual keys (the key events' value argument).
enum VstVirtualKey : VstInt32 {
  VKEY_BACK = 1,
  VKEY_TAB,
  VKEY_CLEAR,
  VKEY_RETURN,
  VKEY_PAUSE,
  VKEY_ESCAPE,
  VKEY_SPACE,
  VKEY_NEXT,
  VKEY_END,
  VKEY_HOME,
  VKEY_LEFT,
  VKEY_UP,
  VKEY_RIGHT,
  VKEY_DOWN,
  VKEY_PAGEUP,
  VKEY_PAGEDOWN,
  VKEY_SELECT,
  VKEY_PRINT,
  VKEY_ENTER,
  VKEY_SNAPSHOT,
  VKEY_INSERT,
  VKEY_DELETE,
  VKEY_HELP,
  VKEY_NUMPAD0,
  VKEY_NUMPAD1,
  VKEY_NUMPAD2,
  VKEY_NUMPAD3,
  VKEY_NUMPAD4,
  VKEY_NUMPAD5,
  VKEY_NUMPAD6,
  VKEY_NUMPAD7,
  VKEY_NUMPAD8,
  VKEY_NUMPAD9,
  VKEY_MULTIPLY,
  VKEY_ADD,
  VKEY_SEPARATOR,
  VKEY_SUBTRACT,
  VKEY_DECIMAL,
  VKEY_DIVIDE,
  VKEY_F1,
  VKEY_F2,
  VKEY_F3,
  VKEY_F4,
  VKEY_F5,
  VKEY_F6,
  VKEY_F7,
  VKEY_F8,
  VKEY_F9,
  VKEY_F10,
  VKEY_F11,
  VKEY_F12,
  VKEY_NUMLOCK,
  VKEY_SCROLL,
  VKEY_SHIFT,
  VKEY_CONTROL,
  VKEY_ALT,
  VKEY_EQUALS,
};
static_assert(VKEY_NUMPAD0 == 24 && VKEY_F1 == 40 && VKEY_NUMLOCK == 52 && VKEY_EQUALS == 57,
              "virtual key numbering");

// The binary layout on x86-64 (Linux and Windows alike).
static_assert(sizeof(void*) == 8, "this interface declaration is for 64-bit targets");
static_assert(sizeof(AEffect) == 192, "AEffect layout");
static_assert(offsetof(AEffect, dispatcher) == 8 && offsetof(AEffect, process) == 16 &&
                  offsetof(AEffect, setParameter) == 24 && offsetof(AEffect, getParameter) == 32,
              "AEffect layout");
static_assert(offsetof(AEffect, numPrograms) == 40 && offsetof(AEffect, numParams) == 44 &&
                  offsetof(AEffect, numInputs) == 48 && offsetof(AEffect, numOutputs) == 52 &&
                  offsetof(AEffect, flags) == 56,
              "AEffect layout");
static_assert(offsetof(AEffect, resvd1) == 64 && offsetof(AEffect, initialDelay) == 80 &&
                  offsetof(AEffect, ioRatio) == 92 && offsetof(AEffect, object) == 96 &&
                  offsetof(AEffect, user) == 104 && offsetof(AEffect, uniqueID) == 112 &&
                  offsetof(AEffect, version) == 116,
              "AEffect layout");
static_assert(offsetof(AEffect, processReplacing) == 120 &&
                  offsetof(AEffect, processDoubleReplacing) == 128 &&
                  offsetof(AEffect, future) == 136,
              "AEffect layout");
static_assert(sizeof(VstTimeInfo) == 88 && offsetof(VstTimeInfo, tempo) == 32 &&
                  offsetof(VstTimeInfo, timeSigNumerator) == 64 &&
                  offsetof(VstTimeInfo, smpteOffset) == 72 && offsetof(VstTimeInfo, flags) == 84,
              "VstTimeInfo layout");
static_assert(sizeof(VstEvent) == 32, "VstEvent layout");
static_assert(sizeof(VstEvents) == 32 && offsetof(VstEvents, events) == 16, "VstEvents layout");
static_assert(sizeof(VstMidiEvent) == 32 && offsetof(VstMidiEvent, midiData) == 24 &&
                  offsetof(VstMidiEvent, detune) == 28,
              "VstMidiEvent layout");
static_assert(sizeof(VstMidiSysexEvent) == 48 && offsetof(VstMidiSysexEvent, dumpBytes) == 16 &&
                  offsetof(VstMidiSysexEvent, sysexDump) == 32,
              "VstMidiSysexEvent layout");
static_assert(sizeof(ERect) == 8, "ERect layout");
static_assert(sizeof(VstPinProperties) == 128 && offsetof(VstPinProperties, flags) == 64 &&
                  offsetof(VstPinProperties, shortLabel) == 72,
              "VstPinProperties layout");
static_assert(sizeof(VstParameterProperties) == 152 &&
                  offsetof(VstParameterProperties, label) == 12 &&
                  offsetof(VstParameterProperties, flags) == 76 &&
                  offsetof(VstParameterProperties, shortLabel) == 96 &&
                  offsetof(VstParameterProperties, displayIndex) == 104 &&
                  offsetof(VstParameterProperties, categoryLabel) == 112,
              "VstParameterProperties layout");
static_assert(sizeof(VstSpeakerProperties) == 112 && offsetof(VstSpeakerProperties, type) == 80,
              "VstSpeakerProperties layout");
static_assert(sizeof(VstSpeakerArrangement) == 904 &&
                  offsetof(VstSpeakerArrangement, speakers) == 8,
              "VstSpeakerArrangement layout");
static_assert(sizeof(MidiKeyName) == 80 && offsetof(MidiKeyName, keyName) == 8,
              "MidiKeyName layout");

}  // namespace vst2
}  // namespace kantele
