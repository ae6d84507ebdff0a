#pragma once

// The Python classes of the trajectory event model, over its records.

#include "model/event/action_record.h"
#include "model/event/context_record.h"
#include "model/event/event_record.h"
#include "model/event/lifecycle_record.h"
#include "model/event/observation_record.h"
#include "model/event/snapshot_record.h"
#include "python/src/binding/binding.h"

namespace revizer::python {

using ActorClass = DataClass<event::Actor>;
using CausalityClass = DataClass<event::Causality>;
using ExecutionAttributionClass = DataClass<event::ExecutionAttribution>;

using ToolCallClass = DataClass<event::ToolCall>;
using ShellCommandClass = DataClass<event::ShellCommand>;
using WebFetchClass = DataClass<event::WebFetch>;
using FileOperationClass = DataClass<event::FileOperation>;

using PromptClass = DataClass<event::Prompt>;
using ThoughtClass = DataClass<event::Thought>;
using ToolOutputClass = DataClass<event::ToolOutput>;
using ShellCommandOutputClass = DataClass<event::ShellCommandOutput>;
using WebFetchOutputClass = DataClass<event::WebFetchOutput>;
using FileOperationResultClass = DataClass<event::FileOperationResult>;

using StartedClass = DataClass<event::Started>;
using CompletedClass = DataClass<event::Completed>;
using FailedClass = DataClass<event::Failed>;
using TerminatedClass = DataClass<event::Terminated>;
using SuspendedClass = DataClass<event::Suspended>;
using ResumedClass = DataClass<event::Resumed>;

using SnapshotClass = DataClass<event::Snapshot>;
using EventClass = DataClass<event::Event>;

template <> const ClassDef& ActorClass::def();
template <> const ClassDef& CausalityClass::def();
template <> const ClassDef& ExecutionAttributionClass::def();
template <> const ClassDef& ToolCallClass::def();
template <> const ClassDef& ShellCommandClass::def();
template <> const ClassDef& WebFetchClass::def();
template <> const ClassDef& FileOperationClass::def();
template <> const ClassDef& PromptClass::def();
template <> const ClassDef& ThoughtClass::def();
template <> const ClassDef& ToolOutputClass::def();
template <> const ClassDef& ShellCommandOutputClass::def();
template <> const ClassDef& WebFetchOutputClass::def();
template <> const ClassDef& FileOperationResultClass::def();
template <> const ClassDef& StartedClass::def();
template <> const ClassDef& CompletedClass::def();
template <> const ClassDef& FailedClass::def();
template <> const ClassDef& TerminatedClass::def();
template <> const ClassDef& SuspendedClass::def();
template <> const ClassDef& ResumedClass::def();
template <> const ClassDef& SnapshotClass::def();
template <> const ClassDef& EventClass::def();

}  // namespace revizer::python
