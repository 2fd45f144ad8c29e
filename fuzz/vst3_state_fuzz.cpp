// A VST 3 host hands the plug-in stored state as a stream of arbitrary bytes: the component's
// state (IComponent::setState, and the controller's copy through setComponentState) and the
// controller's own (IEditController::setState). This target hands the fuzzer's bytes to each
// of the three on a real Tolvane instance, through a whole stream, a stream that moves only a
// few bytes per read, and a stream that fails, and reads both states back after every call.
//
// Properties: a refused state (any result but kResultOk) leaves both states' bytes exactly as
// they were; an accepted one gives bytes that, set again, are accepted and read back the same;
// how the stream delivers the bytes changes neither the result nor the state; a failing stream
// is refused; every normalised parameter value stays within 0..1.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzInput.h"
#include "Vst3FuzzInstance.h"

namespace {

using namespace kantele::vst3;
using kantele::fuzz::Check;
using kantele::fuzz::Reader;
using kantele::fuzz::Vst3FuzzInstance;
using Bytes = std::vector<uint8_t>;

/// The three ways state reaches the instance.
enum class Target { kComponent, kControllerCopy, kController };

struct States {
  Bytes component;
  Bytes controller;
  bool operator==(const States& o) const {
    return component == o.component && controller == o.controller;
  }
};

/// How the stream hands over the bytes.
struct Delivery {
  int32 readLimit;  ///< bytes per read at most (0: no limit)
  bool failing;
};

tresult Set(const Vst3FuzzInstance& plug, Target target, const Bytes& bytes, Delivery how) {
  auto* stream = new MemoryStream(bytes);
  stream->SetReadLimit(how.readLimit);
  stream->SetFailing(how.failing);
  tresult r = kResultFalse;
  switch (target) {
    case Target::kComponent: r = plug.Component()->setState(stream); break;
    case Target::kControllerCopy: r = plug.Controller()->setComponentState(stream); break;
    case Target::kController: r = plug.Controller()->setState(stream); break;
  }
  stream->release();
  return r;
}

/// The bytes getState writes; the call must succeed.
Bytes Get(const Vst3FuzzInstance& plug, bool controller) {
  auto* stream = new MemoryStream();
  const tresult r =
      controller ? plug.Controller()->getState(stream) : plug.Component()->getState(stream);
  Check(r == kResultOk);
  Bytes bytes = stream->Bytes();
  stream->release();
  return bytes;
}

States GetStates(const Vst3FuzzInstance& plug) { return {Get(plug, false), Get(plug, true)}; }

/// Puts `states` back; what the instance wrote itself is always accepted.
void Restore(const Vst3FuzzInstance& plug, const States& states) {
  Check(Set(plug, Target::kComponent, states.component, {0, false}) == kResultOk);
  Check(Set(plug, Target::kController, states.controller, {0, false}) == kResultOk);
  Check(GetStates(plug) == states);
}

/// The outcome of one set call, from `before` to the states now.
States CheckOutcome(const Vst3FuzzInstance& plug, Target target, tresult r, const States& before) {
  const States after = GetStates(plug);
  Check(plug.ParamsInRange());
  if (r != kResultOk) {
    Check(after == before);
    return after;
  }
  // Each state is its own: setting one leaves the other's bytes alone. What was accepted is
  // read back as bytes that are themselves accepted and read back unchanged.
  const bool controller = target == Target::kController;
  if (controller) {
    Check(after.component == before.component);
  } else {
    Check(after.controller == before.controller);
  }
  const Bytes& saved = controller ? after.controller : after.component;
  Check(Set(plug, controller ? Target::kController : Target::kComponent, saved, {0, false}) ==
        kResultOk);
  Check(GetStates(plug) == after);
  return after;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  Vst3FuzzInstance plug;
  // The read limit of the piecewise stream (1 .. 256 bytes per read), then a starting value for
  // every parameter, so a refused state has something to leave alone.
  const int32 readLimit = static_cast<int32>(in.Get<uint8_t>()) + 1;
  for (int32 i = 0; i < plug.Controller()->getParameterCount(); ++i) {
    const double v = in.Get<uint8_t>() / 255.0;
    Check(plug.Controller()->setParamNormalized(static_cast<ParamID>(i), v) == kResultOk);
  }
  const Bytes bytes(data + in.mPos, data + size);

  for (Target target : {Target::kComponent, Target::kControllerCopy, Target::kController}) {
    const States before = GetStates(plug);
    const tresult whole = Set(plug, target, bytes, {0, false});
    const States afterWhole = CheckOutcome(plug, target, whole, before);

    Restore(plug, before);
    const tresult pieces = Set(plug, target, bytes, {readLimit, false});
    const States afterPieces = CheckOutcome(plug, target, pieces, before);
    Check(pieces == whole);
    Check(afterPieces == afterWhole);

    const tresult failed = Set(plug, target, bytes, {0, true});
    Check(failed != kResultOk);
    CheckOutcome(plug, target, failed, afterPieces);
  }

  // A stream that fails while the state is written: refused, nothing changed.
  const States before = GetStates(plug);
  for (bool controller : {false, true}) {
    auto* failing = new MemoryStream();
    failing->SetFailing(true);
    const tresult r =
        controller ? plug.Controller()->getState(failing) : plug.Component()->getState(failing);
    Check(r != kResultOk);
    failing->release();
  }
  Check(GetStates(plug) == before);
  return 0;
}
