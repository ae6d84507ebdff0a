// RevizerClient: "gRPC client for the Tavimor Revizer Service." Three ways
// to connect (the blocking constructor, `connect` and `connect_default`),
// the two adjudication methods, and the small protocol methods.
#include "python/src/client/revizer_client.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/config/runtime_config.h"
#include "model/result/adjudicated.h"
#include "python/src/classes/result_classes.h"
#include "python/src/client/environment_access.h"
#include "python/src/client/event_coercion.h"
#include "python/src/client/exit_gate.h"
#include "python/src/client/future_bridge.h"
#include "python/src/client/interruptible_wait.h"
#include "revizer/client/adjudicates/event_adjudicates.h"
#include "revizer/client/connect/adjudicates_timeout.h"
#include "revizer/client/errors/adjudication_error.h"

namespace revizer::python {
namespace {

using client::AdjudicationError;
using client::RevizerClientError;
using client::RevizerGrpcClient;
using ClientRef = std::shared_ptr<const RevizerGrpcClient>;

constexpr const char* kNoToken =
    "No token provided and TAVIMOR_API_TOKEN not set (checked TAVIMOR_API_TOKEN, TAVIMOR_TOKEN, and ~/.tavimor/env)";
constexpr const char* kNoDefaultToken = "TAVIMOR_API_TOKEN not set (checked TAVIMOR_API_TOKEN and ~/.tavimor/env)";

// Raises the whole text, an embedded NUL and what follows it included.
[[gnu::cold]] PyObject* runtime_error(std::string_view prefix, std::string_view detail) {
  std::string text(prefix);
  text += detail;
  Ref message = Ref::steal(new_str(text, "replace"));
  if (message) PyErr_SetObject(PyExc_RuntimeError, message.get());
  return nullptr;
}

std::string connect_failed(const RevizerClientError& error) { return "Failed to connect: " + error.to_string(); }

// Where a call of `client` runs: beside its connection, on the worker that
// serves it; a client inherited across fork() has no such worker here.
asio::any_io_executor executor_for(const ClientRef& client) {
  if (client->made_before_fork()) return client::Runtime::shared().executor();
  return client->executor();
}

asio::any_io_executor any_worker() { return client::Runtime::shared().executor(); }

// --- values handed back -------------------------------------------------

PyObject* client_to_python(ClientRef&& client) { return create_object<RevizerClientClass>(std::move(client)); }

PyObject* adjudicated_to_python(result::Adjudicated&& answer) {
  return create_object<AdjudicatedClass>(std::move(answer));
}

PyObject* adjudicated_list_to_python(std::vector<result::Adjudicated>&& answers) {
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(answers.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < answers.size(); ++i) {
    PyObject* item = create_object<AdjudicatedClass>(std::move(answers[i]));
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

// --- task bodies ----------------------------------------------------------

// The connection itself, shared by the three ways to connect.
asio::awaitable<TaskOutcome<ClientRef>> connect_with(std::string endpoint, std::string token,
                                                     std::optional<std::string> iap_token,
                                                     std::chrono::milliseconds timeout) {
  client::ConnectOptions options{endpoint, token, std::nullopt};
  if (iap_token) options.iap_token = *iap_token;
  auto connected = co_await RevizerGrpcClient::connect(options, timeout);
  if (!connected) co_return fail(connect_failed(connected.error()));
  co_return std::move(*connected);
}

asio::awaitable<TaskOutcome<ClientRef>> connect_async(std::string endpoint, std::string token) {
  const std::chrono::milliseconds timeout = co_await with_environment([] { return client::adjudicates_timeout(); });
  co_return co_await connect_with(std::move(endpoint), std::move(token), std::nullopt, timeout);
}

struct DefaultSettings {
  Result<common::RuntimeConfig, common::EnvError> config;
  std::chrono::milliseconds timeout;
};

asio::awaitable<TaskOutcome<ClientRef>> connect_default_async() {
  // The timeout is read after the configuration is loaded, so a value that
  // only the env file holds counts from the first client of the process on.
  DefaultSettings settings = co_await with_environment([] {
    auto config = common::load_runtime_config();
    return DefaultSettings{std::move(config), client::adjudicates_timeout()};
  });
  if (!settings.config) co_return fail(connect_failed(RevizerClientError::config(settings.config.error().text())));
  common::RuntimeConfig& config = *settings.config;
  if (!config.api_token) co_return fail(connect_failed(RevizerClientError::config(kNoDefaultToken)));
  co_return co_await connect_with(std::move(config.revizer_endpoint), std::move(*config.api_token),
                                  std::move(config.iap_token), settings.timeout);
}

std::string adjudication_failed(RevizerClientError error) {
  return "Adjudication failed: " + AdjudicationError::from_client_error(std::move(error)).to_string();
}

// `started`: when the Python call was made, which the deadline counts from.
asio::awaitable<TaskOutcome<result::Adjudicated>> adjudicate_async(ClientRef client, event::Event event,
                                                                   client::CallClock::time_point started) {
  std::vector<event::Event> events;
  events.push_back(std::move(event));
  client::Adjudications answers = co_await client::adjudicates(std::move(client), std::move(events), started);
  if (!answers) co_return fail(adjudication_failed(std::move(answers).error()));
  // One answer per event is checked by the client; an empty list cannot come
  // back, but would be a decode error like any other.
  if (answers->empty()) co_return fail(adjudication_failed(RevizerClientError::decode("Empty adjudicates response")));
  co_return std::move(answers->back());
}

asio::awaitable<TaskOutcome<std::vector<result::Adjudicated>>> adjudicates_async(
    ClientRef client, std::vector<event::Event> events, client::CallClock::time_point started) {
  client::Adjudications answers = co_await client::adjudicates(std::move(client), std::move(events), started);
  if (!answers) co_return fail("Adjudication failed: " + answers.error().to_string());
  co_return std::move(*answers);
}

// --- the class --------------------------------------------------------------

constexpr auto kNew = signature(
    "RevizerClient", "__new__",
    "RevizerClient(endpoint=None, token=None)\n--\n\n"
    "gRPC client for the Tavimor Revizer Service.\n\n"
    "Wraps `RevizerGrpcClient` with bearer-token authentication. All methods are\n"
    "native asynchronous methods: await their results with ``asyncio``.\n\n"
    "Example::\n\n"
    "    import asyncio\n\n"
    "    from tavimor_revizer_client import Agent, Event, RevizerClient, ToolCall\n\n"
    "    async def main():\n"
    "        client = RevizerClient(\"https://revizer.example.com\", \"my-api-token\")\n"
    "        agent = Agent(\"agent-1\", \"openai\")\n"
    "        call = ToolCall(\"search\", {\"query\": \"weather in Paris\"})\n"
    "        event = Event(agent, \"trajectory-1\", call)\n"
    "        result = await client.adjudicate(event)\n"
    "        print(result.decision)\n\n"
    "    asyncio.run(main())",
    opt("endpoint"), opt("token"));

PyObject* new_impl(PyTypeObject* type, std::optional<std::string> endpoint, std::optional<std::string> token) {
  client::Runtime& runtime = client::Runtime::shared();
  if (!watch_interpreter_exit()) return nullptr;
  if (!endpoint || !token) {
    // Loading also copies env-file entries into the environment where a
    // variable is unset; the interpreter stays held, so no Python thread
    // changes os.environ meanwhile.
    auto config = common::load_runtime_config();
    if (!config) return runtime_error("Failed to load config: ", config.error().text());
    if (!token) {
      if (!config->api_token) return runtime_error("", kNoToken);
      token = std::move(config->api_token);
    }
    if (!endpoint) endpoint = std::move(config->revizer_endpoint);
  }
  // Read here, under the interpreter like the configuration; the connect
  // then runs without it, and Ctrl-C ends the wait.
  const std::chrono::milliseconds timeout = client::adjudicates_timeout();
  auto connected = wait_interruptibly(
      runtime.executor(), connect_with(std::move(*endpoint), std::move(*token), std::nullopt, timeout));
  if (!connected) return nullptr;
  if (!*connected) return runtime_error("", connected->error());
  return create_object_of_type<RevizerClientClass>(type, std::move(**connected));
}

constexpr auto kConnect = signature("RevizerClient", "connect",
                                    "connect(endpoint, token)\n--\n\n"
                                    "Connect to a Revizer gRPC endpoint asynchronously.\n\n"
                                    "Args:\n"
                                    "    endpoint: The gRPC endpoint URL.\n"
                                    "    token: Bearer token for authentication.\n\n"
                                    "Returns:\n"
                                    "    A new :class:`RevizerClient` instance.\n\n"
                                    "Raises:\n"
                                    "    RuntimeError: If the connection fails.",
                                    pos("endpoint"), pos("token"));

PyObject* connect_impl(std::string endpoint, std::string token) {
  return start_future<ClientRef>(any_worker(), connect_async(std::move(endpoint), std::move(token)),
                                 &client_to_python);
}

constexpr const char* kConnectDefaultDoc =
    "connect_default()\n--\n\n"
    "Connect using default settings from ``~/.tavimor/env`` and environment\n"
    "variables. Returns a coroutine.\n\n"
    "Raises:\n"
    "    RuntimeError: If no API token is configured or connection fails.";

PyObject* connect_default_impl() {
  return start_future<ClientRef>(any_worker(), connect_default_async(), &client_to_python);
}

constexpr auto kAdjudicate = signature("RevizerClient", "adjudicate",
                                       "adjudicate($self, event)\n--\n\n"
                                       "Adjudicate a single event against configured policies.\n\n"
                                       "Args:\n"
                                       "    event: An :class:`Event`, a dict (from ``Event.to_dict()``), or a JSON string.\n\n"
                                       "Returns:\n"
                                       "    An :class:`Adjudicated` result with decision, reason, and policy metadata.\n\n"
                                       "Raises:\n"
                                       "    ValueError: If ``event`` cannot be deserialized.\n"
                                       "    RuntimeError: If adjudication fails.",
                                       pos("event"));

PyObject* adjudicate_impl(const ClientRef& record, PyObject* argument) {
  // The deadline counts from here, the event's coercion included.
  const client::CallClock::time_point started = client::CallClock::now();
  ClientRef client = record;
  auto event = event_from_py(argument);
  if (!event) return nullptr;
  asio::any_io_executor executor = executor_for(client);
  return start_future<result::Adjudicated>(
      std::move(executor), adjudicate_async(std::move(client), std::move(*event), started), &adjudicated_to_python);
}

constexpr auto kAdjudicates = signature("RevizerClient", "adjudicates",
                                        "adjudicates($self, events)\n--\n\n"
                                        "Adjudicate a batch of events against configured policies.\n\n"
                                        "Args:\n"
                                        "    events: A list of :class:`Event` objects, dicts, or JSON strings to evaluate.\n\n"
                                        "Returns:\n"
                                        "    A list of :class:`Adjudicated` results, one per input event.\n\n"
                                        "Raises:\n"
                                        "    ValueError: If any element cannot be deserialized.\n"
                                        "    RuntimeError: If adjudication fails.",
                                        pos("events"));

// The elements of `events`, each held while the rest are collected.
struct HeldObject {
  using type = Ref;
  static constexpr bool absent_ok = false;
  static PyResult<type> convert(PyObject* object) { return Ref::borrow(object); }
};

// The list's elements are collected before this runs: the deadline counts
// from the method's own start.
PyObject* adjudicates_impl(const ClientRef& record, std::vector<Ref> elements) {
  const client::CallClock::time_point started = client::CallClock::now();
  ClientRef client = record;
  std::vector<event::Event> events;
  events.reserve(elements.size());
  for (const Ref& element : elements) {
    auto event = event_from_py(element.get());  // the first failure is raised as it is
    if (!event) return nullptr;
    events.push_back(std::move(*event));
  }
  asio::any_io_executor executor = executor_for(client);
  return start_future<std::vector<result::Adjudicated>>(
      std::move(executor), adjudicates_async(std::move(client), std::move(events), started),
      &adjudicated_list_to_python);
}

PyObject* enter_impl(PyObject* self, const ClientRef&) { return Py_NewRef(self); }

constexpr auto kExit = signature("RevizerClient", "__exit__",
                                 "__exit__($self, _exc_type, _exc_val, _exc_tb)\n--\n\n", pos("_exc_type"),
                                 pos("_exc_val"), pos("_exc_tb"));

// Closes nothing: the client stays usable after a `with` block.
PyObject* exit_impl(const ClientRef&, PyObject*, PyObject*, PyObject*) { return Py_NewRef(Py_False); }

PyObject* repr_impl(const ClientRef&) { return PyUnicode_FromString("RevizerClient(mode='grpc')"); }

}  // namespace

const ClassDef& RevizerClientClass::def() {
  static const PyType_Slot slots[] = {
      constructor_slot<RevizerClientClass, kNew, &new_impl, arg::Opt<arg::Text>, arg::Opt<arg::Text>>(),
      repr_slot<RevizerClientClass, &repr_impl>(),
  };
  static PyMethodDef methods[] = {
      static_method<kConnect, &connect_impl, arg::Text, arg::Text>(),
      static_method<&connect_default_impl>("connect_default", kConnectDefaultDoc),
      method<RevizerClientClass, kAdjudicate, &adjudicate_impl, arg::Object>(),
      method<RevizerClientClass, kAdjudicates, &adjudicates_impl, arg::RequiredList<HeldObject>>(),
      self_method<RevizerClientClass, &enter_impl>("__enter__", "__enter__($self)\n--\n\n"),
      method<RevizerClientClass, kExit, &exit_impl, arg::Object, arg::Object, arg::Object>(),
      {},
  };
  static const ClassDef def{"RevizerClient", kNew.doc, sizeof(Instance<RevizerClientClass>),
                            &release_object<RevizerClientClass>, slots, methods, nullptr, {}};
  return def;
}

}  // namespace revizer::python
