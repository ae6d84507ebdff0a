// admit_provider_call_id(adapter, value): screens a provider call identifier
// from an agent adapter before it reaches Event(provider_call_id=...).
#include <Python.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "python/src/binding/binding.h"
#include "core/provider_call_id.h"
#include "python/src/functions/module_functions.h"

namespace revizer::python {
namespace {

constexpr auto kAdmitProviderCallId = signature(
    nullptr, "admit_provider_call_id",
    "admit_provider_call_id(adapter, value)\n--\n\n"
    "Admit an upstream provider call identity at an SDK adapter boundary.\n\n"
    "The doctrine split lives here, not in the `Event` constructor: an absent\n"
    "value (``None``) admits nothing and records nothing, a present-but-invalid\n"
    "value (empty, whitespace-only, NUL-bearing, oversized) records\n"
    "``invalid_key`` under the adapter's label and degrades to ``None`` so the\n"
    "event still flows unkeyed, and a valid value returns unchanged for\n"
    "``Event(provider_call_id=...)``. Passing a raw upstream value straight to\n"
    "the constructor instead of through this function turns a degraded-provider\n"
    "condition into a raised exception \xE2\x80\x94 the constructor's contract is\n"
    "programmatic misuse, not wire-quality triage.\n\n"
    "``adapter`` must be a closed [`AdapterKind`] token (e.g. ``\"google_adk\"``);\n"
    "an unknown token raises ``ValueError`` so mislabeled metrics cannot ship.",
    pos("adapter"), pos("value"));

// AdapterKind, in its comparison order.
constexpr std::array<std::string_view, 14> kAdapterKinds{
    "claude_code",   "claude_cowork", "codex",       "vscode_copilot_chat", "cursor_generic",
    "cursor_legacy", "opencode",      "openhands",   "hermes",              "copilot_cli",
    "gemini_cli",    "antigravity",   "google_adk",  "unknown",
};

PyObject* admit_provider_call_id_impl(std::string adapter, std::optional<std::string> value) {
  bool known = false;
  for (const std::string_view kind : kAdapterKinds) known = known || kind == adapter;
  if (!known) {
    set_error_text(PyExc_ValueError, "Unknown adapter token: " + adapter);
    return nullptr;
  }
  if (!value || core::provider_call_id_fault(*value)) Py_RETURN_NONE;
  return new_str(*value);
}

}  // namespace

PyMethodDef* admit_provider_call_id_def() {
  static PyMethodDef def = function<kAdmitProviderCallId, &admit_provider_call_id_impl, arg::Text, arg::Opt<arg::Text>>();
  return &def;
}

}  // namespace revizer::python
