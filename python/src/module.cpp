// The module's execution step: registers the classes and functions (the
// entry from the interpreter is init.cpp).
#include "python/src/module.h"

#include <Python.h>

#include <array>

#include "python/src/binding/binding.h"
#include "python/src/classes/agent_classes.h"
#include "python/src/classes/event_classes.h"
#include "python/src/classes/result_classes.h"
#include "python/src/classes/scan_classes.h"
#include "python/src/classes/tool_classes.h"
#include "python/src/client/exit_gate.h"
#include "python/src/client/revizer_client.h"
#include "python/src/enums/enums.h"
#include "python/src/functions/module_functions.h"
#include "python/src/module_add.h"
#include "revizer/client/crypto_provider.h"

namespace revizer::python {
namespace {

// One registered class: its name and the accessor of its process-wide type
// object (created on first use, cached for the life of the process).
struct ClassEntry {
  const char* name;
  PyTypeObject* (*type_object)();
};

// The registration order is part of the module's surface: `__all__` lists the
// classes in exactly this order, then the module functions.
constexpr std::array kClasses{
    ClassEntry{"Decision", &type_object<Decision>},
    ClassEntry{"Mode", &type_object<Mode>},
    ClassEntry{"ActorType", &type_object<ActorType>},
    ClassEntry{"FileOpType", &type_object<FileOpType>},
    ClassEntry{"PromptRole", &type_object<PromptRole>},
    ClassEntry{"TrajectoryStatus", &type_object<TrajectoryStatus>},
    ClassEntry{"Parameter", &type_object<ParameterClass>},
    ClassEntry{"SourceCode", &type_object<SourceCodeClass>},
    ClassEntry{"Tool", &type_object<ToolClass>},
    ClassEntry{"ReActSubAgentDescriptor", &type_object<ReActSubAgentDescriptorClass>},
    ClassEntry{"ReActAgentCard", &type_object<ReActAgentCardClass>},
    ClassEntry{"AgentCardMetadata", &type_object<AgentCardMetadataClass>},
    ClassEntry{"CodingAgentCardCapabilities", &type_object<CodingAgentCardCapabilitiesClass>},
    ClassEntry{"CodingAgentCardAsset", &type_object<CodingAgentCardAssetClass>},
    ClassEntry{"CodingAgentCardSettingsSnapshot", &type_object<CodingAgentCardSettingsSnapshotClass>},
    ClassEntry{"CodingAgentCard", &type_object<CodingAgentCardClass>},
    ClassEntry{"AgentCard", &type_object<AgentCardClass>},
    ClassEntry{"Agent", &type_object<AgentClass>},
    ClassEntry{"Actor", &type_object<ActorClass>},
    ClassEntry{"Causality", &type_object<CausalityClass>},
    ClassEntry{"ExecutionAttribution", &type_object<ExecutionAttributionClass>},
    ClassEntry{"PolicyMetadata", &type_object<PolicyMetadataClass>},
    ClassEntry{"PolicyProvenance", &type_object<PolicyProvenanceClass>},
    ClassEntry{"PolicySetProvenance", &type_object<PolicySetProvenanceClass>},
    ClassEntry{"Steering", &type_object<SteeringClass>},
    ClassEntry{"SignatureGuardrailMatch", &type_object<SignatureGuardrailMatchClass>},
    ClassEntry{"SignatureGuardrailResult", &type_object<SignatureGuardrailResultClass>},
    ClassEntry{"IfcGuardrailResult", &type_object<IfcGuardrailResultClass>},
    ClassEntry{"SemanticGuardrailFinding", &type_object<SemanticGuardrailFindingClass>},
    ClassEntry{"SemanticGuardrailResult", &type_object<SemanticGuardrailResultClass>},
    ClassEntry{"GuardrailResults", &type_object<GuardrailResultsClass>},
    ClassEntry{"ToolCall", &type_object<ToolCallClass>},
    ClassEntry{"ShellCommand", &type_object<ShellCommandClass>},
    ClassEntry{"WebFetch", &type_object<WebFetchClass>},
    ClassEntry{"FileOperation", &type_object<FileOperationClass>},
    ClassEntry{"Prompt", &type_object<PromptClass>},
    ClassEntry{"Thought", &type_object<ThoughtClass>},
    ClassEntry{"ToolOutput", &type_object<ToolOutputClass>},
    ClassEntry{"ShellCommandOutput", &type_object<ShellCommandOutputClass>},
    ClassEntry{"WebFetchOutput", &type_object<WebFetchOutputClass>},
    ClassEntry{"FileOperationResult", &type_object<FileOperationResultClass>},
    ClassEntry{"Started", &type_object<StartedClass>},
    ClassEntry{"Completed", &type_object<CompletedClass>},
    ClassEntry{"Failed", &type_object<FailedClass>},
    ClassEntry{"Terminated", &type_object<TerminatedClass>},
    ClassEntry{"Suspended", &type_object<SuspendedClass>},
    ClassEntry{"Resumed", &type_object<ResumedClass>},
    ClassEntry{"Adjudicated", &type_object<AdjudicatedClass>},
    ClassEntry{"SignalFocus", &type_object<SignalFocus>},
    ClassEntry{"SignalCategory", &type_object<SignalCategory>},
    ClassEntry{"SignalSeverity", &type_object<SignalSeverity>},
    ClassEntry{"MessageType", &type_object<MessageType>},
    ClassEntry{"AgentIntent", &type_object<AgentIntent>},
    ClassEntry{"TranscriptOutcome", &type_object<TranscriptOutcome>},
    ClassEntry{"Signal", &type_object<SignalClass>},
    ClassEntry{"EventScanResult", &type_object<EventScanResultClass>},
    ClassEntry{"TranscriptPhase", &type_object<TranscriptPhaseClass>},
    ClassEntry{"TranscriptDigest", &type_object<TranscriptDigestClass>},
    ClassEntry{"TranscriptScanResult", &type_object<TranscriptScanResultClass>},
    ClassEntry{"Scanned", &type_object<ScannedClass>},
    ClassEntry{"Snapshot", &type_object<SnapshotClass>},
    ClassEntry{"Event", &type_object<EventClass>},
    ClassEntry{"RevizerClient", &type_object<RevizerClientClass>},
};

int add_class(PyObject* module, const ClassEntry& entry) {
  PyTypeObject* type = entry.type_object();
  if (type == nullptr) return -1;
  Ref name = Ref::steal(PyUnicode_FromString(entry.name));
  if (!name) {
    PyErr_WriteUnraisable(nullptr);
    throw Panic("could not create the name of a class");
  }
  return module_add(module, name.get(), reinterpret_cast<PyObject*>(type));
}

}  // namespace

int module_exec(PyObject* module) noexcept {
  return guarded<int>(-1, [&] {
    if (!PyModule_Check(module)) {
      type_check_error(module, "module");
      return -1;
    }
    client::install_default_crypto_provider();
    // At import rather than at the first call: atexit callbacks registered
    // after the import run before the module's own, and their calls work
    // as any other (README, "Processes").
    if (!watch_interpreter_exit()) return -1;
    if (module_init_all(module) < 0) return -1;
    for (const ClassEntry& entry : kClasses) {
      if (add_class(module, entry) < 0) return -1;
    }
    return add_module_functions(module);
  });
}

}  // namespace revizer::python
