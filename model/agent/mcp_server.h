#pragma once

// MCP server configurations: how an agent runtime reaches one MCP server,
// by starting a command (stdio) or by a URL (http, sse, ws). Plain data
// supplied by the caller; nothing is started, opened or interpreted. The
// JSON form (an internally tagged union) is described in
// mcp_server_record.h.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "model/json/value.h"

namespace revizer::agent {

struct StdioMcpServerConfig {
  std::string command;
  std::vector<std::string> args;
  std::map<std::string, std::string> env;  // ordered by key

  friend bool operator==(const StdioMcpServerConfig&, const StdioMcpServerConfig&) = default;
};

// Shared by the three URL transports; only the variant tells them apart.
struct UrlMcpServerConfig {
  std::string url;
  std::map<std::string, std::string> headers;  // ordered by key
  // Stored and written back unchanged; they have no meaning here.
  std::optional<json::Value> headers_helper;  // JSON key "headersHelper"
  std::optional<json::Value> timeout;
  std::optional<bool> always_load;  // JSON key "alwaysLoad"

  friend bool operator==(const UrlMcpServerConfig&, const UrlMcpServerConfig&) = default;
};

// One MCP server configuration; the alternatives in variant order.
using McpServerConfigValue = std::variant<StdioMcpServerConfig, UrlMcpServerConfig, UrlMcpServerConfig,
                                          UrlMcpServerConfig>;

// The variants' positions in McpServerConfigValue.
namespace mcp {
inline constexpr std::size_t kStdio = 0;
inline constexpr std::size_t kHttp = 1;
inline constexpr std::size_t kSse = 2;
inline constexpr std::size_t kWebSocket = 3;
}  // namespace mcp

// The configured servers by name, ordered by the names' UTF-8 bytes.
using McpServerMap = std::map<std::string, McpServerConfigValue>;

}  // namespace revizer::agent
