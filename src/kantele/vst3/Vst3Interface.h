#pragma once

// The VST 3 plug-in interface as this project uses it: basic types, result codes, interface ids,
// the interfaces an audio effect with an editor implements or calls, their records and
// constants, declared here so that neither the plug-in nor the hosts in this repository depend
// on third-party headers. Everything binary is pinned at the end of this file: every record's
// size and field offsets, every interface id's 16 bytes in both byte layouts (the non-COM one
// of Linux and the COM one of Windows). The vtable slot of every method is checked by a test
// (tests/kantele/vst3), since pointer-to-member values are not constant expressions.
//
// Object model. An interface is a class whose only member is its vtable pointer; methods take
// consecutive slots in declaration order after its base's. No interface has a virtual
// destructor or two methods of one name, so g++ and MinGW (and the Microsoft compiler, which
// groups overloads) agree on every slot. Methods use the platform's one x86-64 calling
// convention. Records have natural C layout on both platforms.
//
// Identifiers keep the interface's own names so that a reader can match them to its
// documentation.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define KANTELE_VST3_CALL __stdcall
#else
#define KANTELE_VST3_CALL
#endif

namespace kantele {
namespace vst3 {

using int8 = char;
using uint8 = uint8_t;
using int16 = int16_t;
using uint16 = uint16_t;
using int32 = int32_t;
using uint32 = uint32_t;
using int64 = int64_t;
using uint64 = uint64_t;
using tresult = int32_t;
using TBool = uint8_t;
using TSize = int64_t;
using char8 = char;
using char16 = char16_t;
using TChar = char16_t;
using String128 = char16[128];
using FIDString = const char*;
using TUID = char[16];
using ParamID = uint32_t;
using ParamValue = double;
using SampleRate = double;
using Sample32 = float;
using Sample64 = double;
using TSamples = int64_t;
using TQuarterNotes = double;
using SpeakerArrangement = uint64_t;
using MediaType = int32_t;
using BusDirection = int32_t;
using BusType = int32_t;
using IoMode = int32_t;
using UnitID = int32_t;
using CtrlNumber = int16_t;
using UCoord = int32_t;

// ---------------------------------------------------------------------------------------------
// Result codes. Linux uses small integers, Windows COM results; "true" and "ok" are one value
// everywhere, so success is tested with == kResultOk, never by sign.

#if defined(_WIN32)
constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u);
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = kResultOk;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u);
constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);
constexpr tresult kInternalError = static_cast<tresult>(0x80004005u);
constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFu);
constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000Eu);
#else
constexpr tresult kNoInterface = -1;
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = kResultOk;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = 2;
constexpr tresult kNotImplemented = 3;
constexpr tresult kInternalError = 4;
constexpr tresult kNotInitialized = 5;
constexpr tresult kOutOfMemory = 6;
#endif

// ---------------------------------------------------------------------------------------------
// Interface and class ids. An id is written as four 32-bit words; how they become 16 bytes
// depends on the platform: big-endian words on Linux; on Windows a GUID (word 1 little-endian,
// word 2's halves each little-endian, words 3 and 4 big-endian). Hosts compare the 16 bytes.

/// The two byte layouts of an id.
enum class UidLayout { kNonCom, kCom };

#if defined(_WIN32)
constexpr UidLayout kPlatformUidLayout = UidLayout::kCom;
#else
constexpr UidLayout kPlatformUidLayout = UidLayout::kNonCom;
#endif

/// Sixteen id bytes, usable wherever the interface takes a TUID or FIDString.
struct Uid {
  char bytes[16];

  constexpr const char* data() const { return bytes; }
  /// The same 16 bytes as `other`, compared byte by byte (`other` may be any 16 readable bytes).
  bool Matches(const char* other) const {
    if (!other) return false;
    for (int i = 0; i < 16; ++i) {
      if (bytes[i] != other[i]) return false;
    }
    return true;
  }
};

/// The id of four words in `layout` (the platform's by default).
constexpr Uid MakeUid(uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4,
                      UidLayout layout = kPlatformUidLayout) {
  Uid u{};
  const uint32_t words[4] = {w1, w2, w3, w4};
  for (int i = 0; i < 16; ++i) {
    u.bytes[i] = static_cast<char>((words[i / 4] >> (24 - 8 * (i % 4))) & 0xFF);
  }
  if (layout == UidLayout::kCom) {
    for (int i = 0; i < 4; ++i) u.bytes[i] = static_cast<char>((w1 >> (8 * i)) & 0xFF);
    u.bytes[4] = static_cast<char>((w2 >> 16) & 0xFF);
    u.bytes[5] = static_cast<char>((w2 >> 24) & 0xFF);
    u.bytes[6] = static_cast<char>(w2 & 0xFF);
    u.bytes[7] = static_cast<char>((w2 >> 8) & 0xFF);
  }
  return u;
}

/// The four words of an id in the platform's layout (the inverse of `MakeUid`).
void UidWords(const char* bytes, uint32_t words[4], UidLayout layout = kPlatformUidLayout);

/// Every interface id this project declares, as four words.
// clang-format off
#define KANTELE_VST3_IIDS(X)                                                          \
  X(FUnknown,                       0x00000000, 0x00000000, 0xC0000000, 0x00000046)   \
  X(IPluginBase,                    0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625)   \
  X(IPluginFactory,                 0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F)   \
  X(IPluginFactory2,                0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB)   \
  X(IPluginFactory3,                0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931)   \
  X(IBStream,                       0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B)   \
  X(ISizeableStream,                0x04F9549E, 0xE02F4E6E, 0x87E86A87, 0x47F4E17F)   \
  X(IComponent,                     0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802)   \
  X(IAudioProcessor,                0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D)   \
  X(IProcessContextRequirements,    0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0)   \
  X(IAudioPresentationLatency,      0x309ECE78, 0xEB7D4FAE, 0x8B2225D9, 0x09FD08B6)   \
  X(IEditController,                0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E)   \
  X(IEditController2,               0x7F4EFE59, 0xF3204967, 0xAC27A3AE, 0xAFB63038)   \
  X(IMidiMapping,                   0xDF0FF9F7, 0x49B74669, 0xB63AB732, 0x7ADBF5E5)   \
  X(IEditControllerHostEditing,     0xC1271208, 0x70594098, 0xB9DD34B3, 0x6BB0195E)   \
  X(IComponentHandler,              0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6)   \
  X(IComponentHandler2,             0xF040B4B3, 0xA36045EC, 0xABCDC045, 0xB4D5A2CC)   \
  X(IComponentHandlerBusActivation, 0x067D02C1, 0x5B4E274D, 0xA92D90FD, 0x6EAF7240)   \
  X(IProgress,                      0x00C9DC5B, 0x9D904254, 0x91A388C8, 0xB4E91B69)   \
  X(IConnectionPoint,               0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1)   \
  X(IMessage,                       0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613)   \
  X(IAttributeList,                 0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4)   \
  X(IStreamAttributes,              0xD6CE2FFC, 0xEFAF4B8C, 0x9E74F1BB, 0x12DA44B4)   \
  X(IParameterChanges,              0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D)   \
  X(IParamValueQueue,               0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA)   \
  X(IEventList,                     0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44)   \
  X(IHostApplication,               0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5)   \
  X(IPlugInterfaceSupport,          0x4FB58B9E, 0x9EAA4E0F, 0xAB361C1C, 0xCCB56FEA)   \
  X(IPlugView,                      0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29)   \
  X(IPlugFrame,                     0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3)   \
  X(IPlugViewContentScaleSupport,   0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F)   \
  X(IRunLoop,                       0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389)   \
  X(IEventHandler,                  0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983)   \
  X(ITimerHandler,                  0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9)   \
  X(IUnitInfo,                      0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1)   \
  X(IUnitHandler,                   0x4B5147F8, 0x4654486B, 0x8DAB30BA, 0x163A3C56)
// clang-format on

/// `IID_<Name>`: each interface's id in the platform's layout; `iid_words::<Name>`: its words.
#define KANTELE_VST3_DECLARE_IID(name, w1, w2, w3, w4)  \
  namespace iid_words {                                 \
  inline constexpr uint32_t name[4] = {w1, w2, w3, w4}; \
  }                                                     \
  inline constexpr Uid IID_##name = MakeUid(w1, w2, w3, w4);
KANTELE_VST3_IIDS(KANTELE_VST3_DECLARE_IID)
#undef KANTELE_VST3_DECLARE_IID

// ---------------------------------------------------------------------------------------------
// Records.

/// The module's vendor (PFactoryInfo).
struct PFactoryInfo {
  enum FactoryFlags : int32 {
    kNoFlags = 0,
    kClassesDiscardable = 1 << 0,
    kLicenseCheck = 1 << 1,
    kComponentNonDiscardable = 1 << 3,
    kUnicode = 1 << 4
  };
  char8 vendor[64];
  char8 url[256];
  char8 email[128];
  int32 flags;
};

constexpr int32 kManyInstances = 0x7FFFFFFF;

struct PClassInfo {
  char cid[16];
  int32 cardinality;
  char8 category[32];
  char8 name[64];
};

struct PClassInfo2 {
  char cid[16];
  int32 cardinality;
  char8 category[32];
  char8 name[64];
  uint32 classFlags;
  char8 subCategories[128];
  char8 vendor[64];
  char8 version[64];
  char8 sdkVersion[64];
};

struct PClassInfoW {
  char cid[16];
  int32 cardinality;
  char8 category[32];
  char16 name[64];
  uint32 classFlags;
  char8 subCategories[128];
  char16 vendor[64];
  char16 version[64];
  char16 sdkVersion[64];
};

struct BusInfo {
  MediaType mediaType;
  BusDirection direction;
  int32 channelCount;
  String128 name;
  BusType busType;
  uint32 flags;
};

struct RoutingInfo {
  MediaType mediaType;
  int32 busIndex;
  int32 channel;
};

struct ProcessSetup {
  int32 processMode;
  int32 symbolicSampleSize;
  int32 maxSamplesPerBlock;
  SampleRate sampleRate;
};

struct AudioBusBuffers {
  int32 numChannels;
  uint64 silenceFlags;
  union {
    Sample32** channelBuffers32;
    Sample64** channelBuffers64;
  };
};

class IParameterChanges;
class IEventList;
struct ProcessContext;

struct ProcessData {
  int32 processMode;
  int32 symbolicSampleSize;
  int32 numSamples;
  int32 numInputs;
  int32 numOutputs;
  AudioBusBuffers* inputs;
  AudioBusBuffers* outputs;
  IParameterChanges* inputParameterChanges;
  IParameterChanges* outputParameterChanges;
  IEventList* inputEvents;
  IEventList* outputEvents;
  ProcessContext* processContext;
};

struct FrameRate {
  uint32 framesPerSecond;
  uint32 flags;
};

struct Chord {
  uint8 keyNote;
  uint8 rootNote;
  int16 chordMask;
};

struct ProcessContext {
  uint32 state;
  double sampleRate;
  TSamples projectTimeSamples;
  int64 systemTime;
  TSamples continousTimeSamples;
  TQuarterNotes projectTimeMusic;
  TQuarterNotes barPositionMusic;
  TQuarterNotes cycleStartMusic;
  TQuarterNotes cycleEndMusic;
  double tempo;
  int32 timeSigNumerator;
  int32 timeSigDenominator;
  Chord chord;
  int32 smpteOffsetSubframes;
  FrameRate frameRate;
  int32 samplesToNextClock;
};

struct ParameterInfo {
  ParamID id;
  String128 title;
  String128 shortTitle;
  String128 units;
  int32 stepCount;
  ParamValue defaultNormalizedValue;
  UnitID unitId;
  int32 flags;
};

struct ViewRect {
  int32 left;
  int32 top;
  int32 right;
  int32 bottom;
};

// ---------------------------------------------------------------------------------------------
// Interfaces. P: the plug-in implements it; H: the host does.

/// The base of every interface.
class FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL queryInterface(const TUID iid, void** obj) = 0;
  virtual uint32 KANTELE_VST3_CALL addRef() = 0;
  virtual uint32 KANTELE_VST3_CALL release() = 0;
};

/// P: the base of the component and the controller.
class IPluginBase : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL initialize(FUnknown* context) = 0;
  virtual tresult KANTELE_VST3_CALL terminate() = 0;
};

/// P: the module's class list.
class IPluginFactory : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL getFactoryInfo(PFactoryInfo* info) = 0;
  virtual int32 KANTELE_VST3_CALL countClasses() = 0;
  virtual tresult KANTELE_VST3_CALL getClassInfo(int32 index, PClassInfo* info) = 0;
  virtual tresult KANTELE_VST3_CALL createInstance(FIDString cid, FIDString iid, void** obj) = 0;
};

class IPluginFactory2 : public IPluginFactory {
 public:
  virtual tresult KANTELE_VST3_CALL getClassInfo2(int32 index, PClassInfo2* info) = 0;
};

class IPluginFactory3 : public IPluginFactory2 {
 public:
  virtual tresult KANTELE_VST3_CALL getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;
  virtual tresult KANTELE_VST3_CALL setHostContext(FUnknown* context) = 0;
};

/// H: a byte stream with one read/write position.
class IBStream : public FUnknown {
 public:
  enum IStreamSeekMode : int32 { kIBSeekSet = 0, kIBSeekCur, kIBSeekEnd };
  virtual tresult KANTELE_VST3_CALL read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
  virtual tresult KANTELE_VST3_CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
  virtual tresult KANTELE_VST3_CALL seek(int64 pos, int32 mode, int64* result) = 0;
  virtual tresult KANTELE_VST3_CALL tell(int64* pos) = 0;
};

class ISizeableStream : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL getStreamSize(int64& size) = 0;
  virtual tresult KANTELE_VST3_CALL setStreamSize(int64 size) = 0;
};

/// P: the processing side's identity, buses and state.
class IComponent : public IPluginBase {
 public:
  virtual tresult KANTELE_VST3_CALL getControllerClassId(TUID classId) = 0;
  virtual tresult KANTELE_VST3_CALL setIoMode(IoMode mode) = 0;
  virtual int32 KANTELE_VST3_CALL getBusCount(MediaType type, BusDirection dir) = 0;
  virtual tresult KANTELE_VST3_CALL getBusInfo(MediaType type, BusDirection dir, int32 index,
                                               BusInfo& bus) = 0;
  virtual tresult KANTELE_VST3_CALL getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
  virtual tresult KANTELE_VST3_CALL activateBus(MediaType type, BusDirection dir, int32 index,
                                                TBool state) = 0;
  virtual tresult KANTELE_VST3_CALL setActive(TBool state) = 0;
  virtual tresult KANTELE_VST3_CALL setState(IBStream* state) = 0;
  virtual tresult KANTELE_VST3_CALL getState(IBStream* state) = 0;
};

/// P: the audio processing.
class IAudioProcessor : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                       SpeakerArrangement* outputs,
                                                       int32 numOuts) = 0;
  virtual tresult KANTELE_VST3_CALL getBusArrangement(BusDirection dir, int32 index,
                                                      SpeakerArrangement& arr) = 0;
  virtual tresult KANTELE_VST3_CALL canProcessSampleSize(int32 symbolicSampleSize) = 0;
  virtual uint32 KANTELE_VST3_CALL getLatencySamples() = 0;
  virtual tresult KANTELE_VST3_CALL setupProcessing(ProcessSetup& setup) = 0;
  virtual tresult KANTELE_VST3_CALL setProcessing(TBool state) = 0;
  virtual tresult KANTELE_VST3_CALL process(ProcessData& data) = 0;
  virtual uint32 KANTELE_VST3_CALL getTailSamples() = 0;
};

class IProcessContextRequirements : public FUnknown {
 public:
  virtual uint32 KANTELE_VST3_CALL getProcessContextRequirements() = 0;
};

class IComponentHandler;
class IPlugView;

/// P: parameters, their texts, the controller's state and the editor.
class IEditController : public IPluginBase {
 public:
  virtual tresult KANTELE_VST3_CALL setComponentState(IBStream* state) = 0;
  virtual tresult KANTELE_VST3_CALL setState(IBStream* state) = 0;
  virtual tresult KANTELE_VST3_CALL getState(IBStream* state) = 0;
  virtual int32 KANTELE_VST3_CALL getParameterCount() = 0;
  virtual tresult KANTELE_VST3_CALL getParameterInfo(int32 paramIndex, ParameterInfo& info) = 0;
  virtual tresult KANTELE_VST3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                          String128 string) = 0;
  virtual tresult KANTELE_VST3_CALL getParamValueByString(ParamID id, TChar* string,
                                                          ParamValue& valueNormalized) = 0;
  virtual ParamValue KANTELE_VST3_CALL normalizedParamToPlain(ParamID id,
                                                              ParamValue valueNormalized) = 0;
  virtual ParamValue KANTELE_VST3_CALL plainParamToNormalized(ParamID id,
                                                              ParamValue plainValue) = 0;
  virtual ParamValue KANTELE_VST3_CALL getParamNormalized(ParamID id) = 0;
  virtual tresult KANTELE_VST3_CALL setParamNormalized(ParamID id, ParamValue value) = 0;
  virtual tresult KANTELE_VST3_CALL setComponentHandler(IComponentHandler* handler) = 0;
  virtual IPlugView* KANTELE_VST3_CALL createView(FIDString name) = 0;
};

class IEditController2 : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL setKnobMode(int32 mode) = 0;
  virtual tresult KANTELE_VST3_CALL openHelp(TBool onlyCheck) = 0;
  virtual tresult KANTELE_VST3_CALL openAboutBox(TBool onlyCheck) = 0;
};

/// H: the controller's channel to the host.
class IComponentHandler : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL beginEdit(ParamID id) = 0;
  virtual tresult KANTELE_VST3_CALL performEdit(ParamID id, ParamValue valueNormalized) = 0;
  virtual tresult KANTELE_VST3_CALL endEdit(ParamID id) = 0;
  virtual tresult KANTELE_VST3_CALL restartComponent(int32 flags) = 0;
};

class IComponentHandler2 : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL setDirty(TBool state) = 0;
  virtual tresult KANTELE_VST3_CALL requestOpenEditor(FIDString name) = 0;
  virtual tresult KANTELE_VST3_CALL startGroupEdit() = 0;
  virtual tresult KANTELE_VST3_CALL finishGroupEdit() = 0;
};

class IMessage;

class IConnectionPoint : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL connect(IConnectionPoint* other) = 0;
  virtual tresult KANTELE_VST3_CALL disconnect(IConnectionPoint* other) = 0;
  virtual tresult KANTELE_VST3_CALL notify(IMessage* message) = 0;
};

class IAttributeList : public FUnknown {
 public:
  using AttrID = const char*;
  virtual tresult KANTELE_VST3_CALL setInt(AttrID id, int64 value) = 0;
  virtual tresult KANTELE_VST3_CALL getInt(AttrID id, int64& value) = 0;
  virtual tresult KANTELE_VST3_CALL setFloat(AttrID id, double value) = 0;
  virtual tresult KANTELE_VST3_CALL getFloat(AttrID id, double& value) = 0;
  virtual tresult KANTELE_VST3_CALL setString(AttrID id, const TChar* string) = 0;
  virtual tresult KANTELE_VST3_CALL getString(AttrID id, TChar* string, uint32 sizeInBytes) = 0;
  virtual tresult KANTELE_VST3_CALL setBinary(AttrID id, const void* data, uint32 sizeInBytes) = 0;
  virtual tresult KANTELE_VST3_CALL getBinary(AttrID id, const void*& data,
                                              uint32& sizeInBytes) = 0;
};

class IMessage : public FUnknown {
 public:
  virtual FIDString KANTELE_VST3_CALL getMessageID() = 0;
  virtual void KANTELE_VST3_CALL setMessageID(FIDString id) = 0;
  virtual IAttributeList* KANTELE_VST3_CALL getAttributes() = 0;
};

/// H: one parameter's changes within a block: (sample offset, normalised value) points.
class IParamValueQueue : public FUnknown {
 public:
  virtual ParamID KANTELE_VST3_CALL getParameterId() = 0;
  virtual int32 KANTELE_VST3_CALL getPointCount() = 0;
  virtual tresult KANTELE_VST3_CALL getPoint(int32 index, int32& sampleOffset,
                                             ParamValue& value) = 0;
  virtual tresult KANTELE_VST3_CALL addPoint(int32 sampleOffset, ParamValue value,
                                             int32& index) = 0;
};

/// H: the queues of the parameters that changed within a block.
class IParameterChanges : public FUnknown {
 public:
  virtual int32 KANTELE_VST3_CALL getParameterCount() = 0;
  virtual IParamValueQueue* KANTELE_VST3_CALL getParameterData(int32 index) = 0;
  virtual IParamValueQueue* KANTELE_VST3_CALL addParameterData(const ParamID& id, int32& index) = 0;
};

/// A note or MIDI event: 48 bytes this project never reads (it declares no event buses).
struct Event {
  uint8 bytes[48];
};

class IEventList : public FUnknown {
 public:
  virtual int32 KANTELE_VST3_CALL getEventCount() = 0;
  virtual tresult KANTELE_VST3_CALL getEvent(int32 index, Event& e) = 0;
  virtual tresult KANTELE_VST3_CALL addEvent(Event& e) = 0;
};

/// H: the context given to initialize.
class IHostApplication : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL getName(String128 name) = 0;
  virtual tresult KANTELE_VST3_CALL createInstance(TUID cid, TUID iid, void** obj) = 0;
};

class IPlugInterfaceSupport : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL isPlugInterfaceSupported(const TUID iid) = 0;
};

class IPlugFrame;

/// P: the editor in a host's window.
class IPlugView : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL isPlatformTypeSupported(FIDString type) = 0;
  virtual tresult KANTELE_VST3_CALL attached(void* parent, FIDString type) = 0;
  virtual tresult KANTELE_VST3_CALL removed() = 0;
  virtual tresult KANTELE_VST3_CALL onWheel(float distance) = 0;
  virtual tresult KANTELE_VST3_CALL onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
  virtual tresult KANTELE_VST3_CALL onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
  virtual tresult KANTELE_VST3_CALL getSize(ViewRect* size) = 0;
  virtual tresult KANTELE_VST3_CALL onSize(ViewRect* newSize) = 0;
  virtual tresult KANTELE_VST3_CALL onFocus(TBool state) = 0;
  virtual tresult KANTELE_VST3_CALL setFrame(IPlugFrame* frame) = 0;
  virtual tresult KANTELE_VST3_CALL canResize() = 0;
  virtual tresult KANTELE_VST3_CALL checkSizeConstraint(ViewRect* rect) = 0;
};

/// H: the view's window in the host.
class IPlugFrame : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL resizeView(IPlugView* view, ViewRect* newSize) = 0;
};

class IPlugViewContentScaleSupport : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL setContentScaleFactor(float factor) = 0;
};

/// P: called by the host's run loop when a registered file descriptor is readable.
class IEventHandler : public FUnknown {
 public:
  virtual void KANTELE_VST3_CALL onFDIsSet(int fd) = 0;
};

/// P: called by the host's run loop at a registered interval.
class ITimerHandler : public FUnknown {
 public:
  virtual void KANTELE_VST3_CALL onTimer() = 0;
};

/// H (Linux): the host's user-interface loop, offered by the plug-in frame.
class IRunLoop : public FUnknown {
 public:
  virtual tresult KANTELE_VST3_CALL registerEventHandler(IEventHandler* handler, int fd) = 0;
  virtual tresult KANTELE_VST3_CALL unregisterEventHandler(IEventHandler* handler) = 0;
  virtual tresult KANTELE_VST3_CALL registerTimer(ITimerHandler* handler, uint64 milliseconds) = 0;
  virtual tresult KANTELE_VST3_CALL unregisterTimer(ITimerHandler* handler) = 0;
};

// ---------------------------------------------------------------------------------------------
// Constants.

constexpr const char* kAudioModuleClass = "Audio Module Class";
constexpr const char* kComponentControllerClass = "Component Controller Class";
constexpr const char* kVstVersionString = "VST 3.7.14";
constexpr const char* kEditorViewType = "editor";
constexpr const char* kPlatformTypeHWND = "HWND";
constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";

enum ComponentFlags : uint32 { kDistributable = 1 << 0, kSimpleModeSupported = 1 << 1 };

enum MediaTypes : int32 { kAudio = 0, kEvent = 1, kNumMediaTypes = 2 };
enum BusDirections : int32 { kInput = 0, kOutput = 1 };
enum BusTypes : int32 { kMain = 0, kAux = 1 };
enum BusFlags : uint32 { kDefaultActive = 1 << 0, kIsControlVoltage = 1 << 1 };
enum IoModes : int32 { kSimple = 0, kAdvanced = 1, kOfflineProcessing = 2 };
enum SymbolicSampleSizes : int32 { kSample32 = 0, kSample64 = 1 };
enum ProcessModes : int32 { kRealtime = 0, kPrefetch = 1, kOffline = 2 };
constexpr uint32 kNoTail = 0;
constexpr uint32 kInfiniteTail = 0xFFFFFFFFu;

enum ParameterFlags : int32 {
  kNoParameterFlags = 0,
  kCanAutomate = 1 << 0,
  kIsReadOnly = 1 << 1,
  kIsWrapAround = 1 << 2,
  kIsList = 1 << 3,
  kIsHidden = 1 << 4,
  kIsProgramChange = 1 << 15,
  kIsBypass = 1 << 16
};
constexpr ParamID kNoParamId = 0xFFFFFFFFu;
constexpr UnitID kRootUnitId = 0;

/// ProcessContext::state bits.
enum ProcessContextStates : uint32 {
  kPlaying = 1 << 1,
  kCycleActive = 1 << 2,
  kRecording = 1 << 3,
  kSystemTimeValid = 1 << 8,
  kProjectTimeMusicValid = 1 << 9,
  kTempoValid = 1 << 10,
  kBarPositionValid = 1 << 11,
  kCycleValid = 1 << 12,
  kTimeSigValid = 1 << 13,
  kSmpteValid = 1 << 14,
  kClockValid = 1 << 15,
  kContTimeValid = 1 << 17,
  kChordValid = 1 << 18
};

/// IProcessContextRequirements bits.
enum ProcessContextRequirementFlags : uint32 {
  kNeedSystemTime = 1 << 0,
  kNeedContinousTimeSamples = 1 << 1,
  kNeedProjectTimeMusic = 1 << 2,
  kNeedBarPositionMusic = 1 << 3,
  kNeedCycleMusic = 1 << 4,
  kNeedSamplesToNextClock = 1 << 5,
  kNeedTempo = 1 << 6,
  kNeedTimeSignature = 1 << 7,
  kNeedChord = 1 << 8,
  kNeedFrameRate = 1 << 9,
  kNeedTransportState = 1 << 10
};

enum RestartFlags : int32 {
  kReloadComponent = 1 << 0,
  kIoChanged = 1 << 1,
  kParamValuesChanged = 1 << 2,
  kLatencyChanged = 1 << 3,
  kParamTitlesChanged = 1 << 4,
  kMidiCCAssignmentChanged = 1 << 5,
  kNoteExpressionChanged = 1 << 6,
  kIoTitlesChanged = 1 << 7,
  kPrefetchableSupportChanged = 1 << 8,
  kRoutingInfoChanged = 1 << 9,
  kKeyswitchChanged = 1 << 10,
  kParamIDMappingChanged = 1 << 11
};

constexpr uint64 kSpeakerL = 1u << 0;
constexpr uint64 kSpeakerR = 1u << 1;
constexpr uint64 kSpeakerC = 1u << 2;
constexpr uint64 kSpeakerM = 1u << 19;
namespace SpeakerArr {
constexpr SpeakerArrangement kEmpty = 0;
constexpr SpeakerArrangement kMono = kSpeakerM;
constexpr SpeakerArrangement kStereo = kSpeakerL | kSpeakerR;
}  // namespace SpeakerArr

/// The number of channels of an arrangement: its set bits.
constexpr int32 ChannelCount(SpeakerArrangement arr) {
  int32 n = 0;
  for (; arr != 0; arr &= arr - 1) ++n;
  return n;
}

// ---------------------------------------------------------------------------------------------
// The binary layout on x86-64 (Linux and Windows alike).

static_assert(sizeof(void*) == 8, "this interface declaration is for 64-bit targets");
static_assert(sizeof(char16) == 2 && sizeof(TBool) == 1 && sizeof(tresult) == 4,
              "basic type sizes");
static_assert(sizeof(FUnknown) == 8 && sizeof(IPlugView) == 8 && sizeof(IComponent) == 8,
              "an interface is its vtable pointer");

static_assert(sizeof(PFactoryInfo) == 452 && alignof(PFactoryInfo) == 4 &&
                  offsetof(PFactoryInfo, url) == 64 && offsetof(PFactoryInfo, email) == 320 &&
                  offsetof(PFactoryInfo, flags) == 448,
              "PFactoryInfo layout");
static_assert(sizeof(PClassInfo) == 116 && alignof(PClassInfo) == 4 &&
                  offsetof(PClassInfo, cardinality) == 16 && offsetof(PClassInfo, category) == 20 &&
                  offsetof(PClassInfo, name) == 52,
              "PClassInfo layout");
static_assert(sizeof(PClassInfo2) == 440 && alignof(PClassInfo2) == 4 &&
                  offsetof(PClassInfo2, cardinality) == 16 &&
                  offsetof(PClassInfo2, category) == 20 && offsetof(PClassInfo2, name) == 52 &&
                  offsetof(PClassInfo2, classFlags) == 116 &&
                  offsetof(PClassInfo2, subCategories) == 120 &&
                  offsetof(PClassInfo2, vendor) == 248 && offsetof(PClassInfo2, version) == 312 &&
                  offsetof(PClassInfo2, sdkVersion) == 376,
              "PClassInfo2 layout");
static_assert(sizeof(PClassInfoW) == 696 && alignof(PClassInfoW) == 4 &&
                  offsetof(PClassInfoW, cardinality) == 16 &&
                  offsetof(PClassInfoW, category) == 20 && offsetof(PClassInfoW, name) == 52 &&
                  offsetof(PClassInfoW, classFlags) == 180 &&
                  offsetof(PClassInfoW, subCategories) == 184 &&
                  offsetof(PClassInfoW, vendor) == 312 && offsetof(PClassInfoW, version) == 440 &&
                  offsetof(PClassInfoW, sdkVersion) == 568,
              "PClassInfoW layout");
static_assert(sizeof(BusInfo) == 276 && alignof(BusInfo) == 4 &&
                  offsetof(BusInfo, direction) == 4 && offsetof(BusInfo, channelCount) == 8 &&
                  offsetof(BusInfo, name) == 12 && offsetof(BusInfo, busType) == 268 &&
                  offsetof(BusInfo, flags) == 272,
              "BusInfo layout");
static_assert(sizeof(RoutingInfo) == 12 && offsetof(RoutingInfo, busIndex) == 4 &&
                  offsetof(RoutingInfo, channel) == 8,
              "RoutingInfo layout");
static_assert(sizeof(ProcessSetup) == 24 && alignof(ProcessSetup) == 8 &&
                  offsetof(ProcessSetup, symbolicSampleSize) == 4 &&
                  offsetof(ProcessSetup, maxSamplesPerBlock) == 8 &&
                  offsetof(ProcessSetup, sampleRate) == 16,
              "ProcessSetup layout");
static_assert(sizeof(AudioBusBuffers) == 24 && alignof(AudioBusBuffers) == 8 &&
                  offsetof(AudioBusBuffers, silenceFlags) == 8 &&
                  offsetof(AudioBusBuffers, channelBuffers32) == 16 &&
                  offsetof(AudioBusBuffers, channelBuffers64) == 16,
              "AudioBusBuffers layout");
static_assert(sizeof(ProcessData) == 80 && alignof(ProcessData) == 8 &&
                  offsetof(ProcessData, symbolicSampleSize) == 4 &&
                  offsetof(ProcessData, numSamples) == 8 &&
                  offsetof(ProcessData, numInputs) == 12 &&
                  offsetof(ProcessData, numOutputs) == 16 && offsetof(ProcessData, inputs) == 24 &&
                  offsetof(ProcessData, outputs) == 32 &&
                  offsetof(ProcessData, inputParameterChanges) == 40 &&
                  offsetof(ProcessData, outputParameterChanges) == 48 &&
                  offsetof(ProcessData, inputEvents) == 56 &&
                  offsetof(ProcessData, outputEvents) == 64 &&
                  offsetof(ProcessData, processContext) == 72,
              "ProcessData layout");
static_assert(sizeof(FrameRate) == 8 && alignof(FrameRate) == 4 && offsetof(FrameRate, flags) == 4,
              "FrameRate layout");
static_assert(sizeof(Chord) == 4 && alignof(Chord) == 2 && offsetof(Chord, rootNote) == 1 &&
                  offsetof(Chord, chordMask) == 2,
              "Chord layout");
static_assert(sizeof(ProcessContext) == 112 && alignof(ProcessContext) == 8 &&
                  offsetof(ProcessContext, sampleRate) == 8 &&
                  offsetof(ProcessContext, projectTimeSamples) == 16 &&
                  offsetof(ProcessContext, systemTime) == 24 &&
                  offsetof(ProcessContext, continousTimeSamples) == 32 &&
                  offsetof(ProcessContext, projectTimeMusic) == 40 &&
                  offsetof(ProcessContext, barPositionMusic) == 48 &&
                  offsetof(ProcessContext, cycleStartMusic) == 56 &&
                  offsetof(ProcessContext, cycleEndMusic) == 64 &&
                  offsetof(ProcessContext, tempo) == 72 &&
                  offsetof(ProcessContext, timeSigNumerator) == 80 &&
                  offsetof(ProcessContext, timeSigDenominator) == 84 &&
                  offsetof(ProcessContext, chord) == 88 &&
                  offsetof(ProcessContext, smpteOffsetSubframes) == 92 &&
                  offsetof(ProcessContext, frameRate) == 96 &&
                  offsetof(ProcessContext, samplesToNextClock) == 104,
              "ProcessContext layout");
static_assert(sizeof(ParameterInfo) == 792 && alignof(ParameterInfo) == 8 &&
                  offsetof(ParameterInfo, title) == 4 &&
                  offsetof(ParameterInfo, shortTitle) == 260 &&
                  offsetof(ParameterInfo, units) == 516 &&
                  offsetof(ParameterInfo, stepCount) == 772 &&
                  offsetof(ParameterInfo, defaultNormalizedValue) == 776 &&
                  offsetof(ParameterInfo, unitId) == 784 && offsetof(ParameterInfo, flags) == 788,
              "ParameterInfo layout");
static_assert(sizeof(ViewRect) == 16 && alignof(ViewRect) == 4 && offsetof(ViewRect, top) == 4 &&
                  offsetof(ViewRect, right) == 8 && offsetof(ViewRect, bottom) == 12,
              "ViewRect layout");
static_assert(sizeof(Event) == 48, "Event size");

// Every interface id's bytes in both layouts, as the interface's reference lists them.
namespace detail {

constexpr int HexDigit(char c) {
  return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

/// Whether `uid` holds the 16 bytes written as 32 upper-case hex digits.
constexpr bool BytesAre(const Uid& uid, const char* hex) {
  for (int i = 0; i < 16; ++i) {
    const int hi = HexDigit(hex[2 * i]);
    const int lo = HexDigit(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    if (static_cast<uint8_t>(uid.bytes[i]) != hi * 16 + lo) return false;
  }
  return hex[32] == '\0';
}

constexpr Uid UidOf(const uint32_t (&w)[4], UidLayout layout) {
  return MakeUid(w[0], w[1], w[2], w[3], layout);
}

}  // namespace detail

// clang-format off
#define KANTELE_VST3_PIN_IID(name, linuxBytes, windowsBytes)                                   \
  static_assert(detail::BytesAre(detail::UidOf(iid_words::name, UidLayout::kNonCom), linuxBytes) && \
                detail::BytesAre(detail::UidOf(iid_words::name, UidLayout::kCom), windowsBytes) && \
                detail::BytesAre(IID_##name, kPlatformUidLayout == UidLayout::kCom ? windowsBytes \
                                                                                  : linuxBytes),  \
                #name " id bytes");
KANTELE_VST3_PIN_IID(FUnknown, "0000000000000000C000000000000046", "0000000000000000C000000000000046")
KANTELE_VST3_PIN_IID(IPluginBase, "22888DDB156E45AE8358B34808190625", "DB8D88226E15AE458358B34808190625")
KANTELE_VST3_PIN_IID(IPluginFactory, "7A4D811C52114A1FAED9D2EE0B43BF9F", "1C814D7A11521F4AAED9D2EE0B43BF9F")
KANTELE_VST3_PIN_IID(IPluginFactory2, "0007B650F24B4C0BA464EDB9F00B2ABB", "50B607004BF20B4CA464EDB9F00B2ABB")
KANTELE_VST3_PIN_IID(IPluginFactory3, "4555A2ABC1234E579B12291036878931", "ABA2554523C1574E9B12291036878931")
KANTELE_VST3_PIN_IID(IBStream, "C3BF6EA2309947529B6BF9901EE33E9B", "A26EBFC3993052479B6BF9901EE33E9B")
KANTELE_VST3_PIN_IID(ISizeableStream, "04F9549EE02F4E6E87E86A8747F4E17F", "9E54F9042FE06E4E87E86A8747F4E17F")
KANTELE_VST3_PIN_IID(IComponent, "E831FF31F2D54301928EBBEE25697802", "31FF31E8D5F20143928EBBEE25697802")
KANTELE_VST3_PIN_IID(IAudioProcessor, "42043F99B7DA453CA569E79D9AAEC33D", "993F0442DAB73C45A569E79D9AAEC33D")
KANTELE_VST3_PIN_IID(IProcessContextRequirements, "2A654303EF764E3D95B5FE83730EF6D0", "0343652A76EF3D4E95B5FE83730EF6D0")
KANTELE_VST3_PIN_IID(IAudioPresentationLatency, "309ECE78EB7D4FAE8B2225D909FD08B6", "78CE9E307DEBAE4F8B2225D909FD08B6")
KANTELE_VST3_PIN_IID(IEditController, "DCD7BBE37742448DA874AACC979C759E", "E3BBD7DC42778D44A874AACC979C759E")
KANTELE_VST3_PIN_IID(IEditController2, "7F4EFE59F3204967AC27A3AEAFB63038", "59FE4E7F20F36749AC27A3AEAFB63038")
KANTELE_VST3_PIN_IID(IMidiMapping, "DF0FF9F749B74669B63AB7327ADBF5E5", "F7F90FDFB7496946B63AB7327ADBF5E5")
KANTELE_VST3_PIN_IID(IEditControllerHostEditing, "C127120870594098B9DD34B36BB0195E", "081227C159709840B9DD34B36BB0195E")
KANTELE_VST3_PIN_IID(IComponentHandler, "93A0BEA30BD045DB8E890B0CC1E46AC6", "A3BEA093D00BDB458E890B0CC1E46AC6")
KANTELE_VST3_PIN_IID(IComponentHandler2, "F040B4B3A36045ECABCDC045B4D5A2CC", "B3B440F060A3EC45ABCDC045B4D5A2CC")
KANTELE_VST3_PIN_IID(IComponentHandlerBusActivation, "067D02C15B4E274DA92D90FD6EAF7240", "C1027D064E5B4D27A92D90FD6EAF7240")
KANTELE_VST3_PIN_IID(IProgress, "00C9DC5B9D90425491A388C8B4E91B69", "5BDCC900909D544291A388C8B4E91B69")
KANTELE_VST3_PIN_IID(IConnectionPoint, "70A4156F6E6E4026989148BFAA60D8D1", "6F15A4706E6E2640989148BFAA60D8D1")
KANTELE_VST3_PIN_IID(IMessage, "936F033BC6C047DBBB0882F813C1E613", "3B036F93C0C6DB47BB0882F813C1E613")
KANTELE_VST3_PIN_IID(IAttributeList, "1E5F0AEBCC7F4533A254401138AD5EE4", "EB0A5F1E7FCC3345A254401138AD5EE4")
KANTELE_VST3_PIN_IID(IStreamAttributes, "D6CE2FFCEFAF4B8C9E74F1BB12DA44B4", "FC2FCED6AFEF8C4B9E74F1BB12DA44B4")
KANTELE_VST3_PIN_IID(IParameterChanges, "A47796630BB64A56B44384A8466FEB9D", "639677A4B60B564AB44384A8466FEB9D")
KANTELE_VST3_PIN_IID(IParamValueQueue, "01263A18ED074F6F98C9D3564686F9BA", "183A260107ED6F4F98C9D3564686F9BA")
KANTELE_VST3_PIN_IID(IEventList, "3A2C4214346349FEB2C4F397B9695A44", "14422C3A6334FE49B2C4F397B9695A44")
KANTELE_VST3_PIN_IID(IHostApplication, "58E595CCDB2D49698B6AAF8C36A664E5", "CC95E5582DDB69498B6AAF8C36A664E5")
KANTELE_VST3_PIN_IID(IPlugInterfaceSupport, "4FB58B9E9EAA4E0FAB361C1CCCB56FEA", "9E8BB54FAA9E0F4EAB361C1CCCB56FEA")
KANTELE_VST3_PIN_IID(IPlugView, "5BC32507D06049EAA6151B522B755B29", "0725C35B60D0EA49A6151B522B755B29")
KANTELE_VST3_PIN_IID(IPlugFrame, "367FAF01AFA946938D4DA2A0ED0882A3", "01AF7F36A9AF93468D4DA2A0ED0882A3")
KANTELE_VST3_PIN_IID(IPlugViewContentScaleSupport, "65ED96908AC445258AADEF7A72EA703F", "9096ED65C48A25458AADEF7A72EA703F")
KANTELE_VST3_PIN_IID(IRunLoop, "18C3536697764F1A9C5B83857A871389", "6653C31876971A4F9C5B83857A871389")
KANTELE_VST3_PIN_IID(IEventHandler, "561E65C913A0496F813A2C35654D7983", "C9651E56A0136F49813A2C35654D7983")
KANTELE_VST3_PIN_IID(ITimerHandler, "10BDD94F41424774821FAD8FECA72CA9", "4FD9BD1042417447821FAD8FECA72CA9")
KANTELE_VST3_PIN_IID(IUnitInfo, "3D4BD6B5913A4FD2A886E768A5EB92C1", "B5D64B3D3A91D24FA886E768A5EB92C1")
KANTELE_VST3_PIN_IID(IUnitHandler, "4B5147F84654486B8DAB30BA163A3C56", "F847514B54466B488DAB30BA163A3C56")
#undef KANTELE_VST3_PIN_IID
// clang-format on

}  // namespace vst3
}  // namespace kantele
