#pragma once

// The JSON form of an MCP server configuration: an internally tagged union
// under "type", written with the tags stdio, http, sse and ws and also read
// under streamable-http and websocket. The server map is a key-ordered map
// of these values (its reader and writer are the codec's map kind).

#include "model/agent/mcp_server.h"
#include "model/json/internal_union.h"
#include "model/json/record.h"

namespace revizer::agent {

namespace record {

using namespace json::describe;

inline constexpr json::Record kStdioMcpServerConfig{
    "struct StdioMcpServerConfig",
    field<Always, Required>("command", &StdioMcpServerConfig::command),
    field<Always, Default>("args", &StdioMcpServerConfig::args),
    field<Always, Default>("env", &StdioMcpServerConfig::env)};

inline constexpr json::Record kUrlMcpServerConfig{
    "struct UrlMcpServerConfig",
    field<Always, Required>("url", &UrlMcpServerConfig::url),
    field<Always, Default>("headers", &UrlMcpServerConfig::headers),
    field<WhenPresent, DefaultAbsent>("headersHelper", &UrlMcpServerConfig::headers_helper),
    field<WhenPresent, DefaultAbsent>("timeout", &UrlMcpServerConfig::timeout),
    field<WhenPresent, DefaultAbsent>("alwaysLoad", &UrlMcpServerConfig::always_load)};

}  // namespace record

constexpr const auto& json_record(const StdioMcpServerConfig*) { return record::kStdioMcpServerConfig; }
constexpr const auto& json_record(const UrlMcpServerConfig*) { return record::kUrlMcpServerConfig; }

namespace record {

inline constexpr json::InternalUnion<McpServerConfigValue, 6> kMcpServerConfigValue{
    "internally tagged enum McpServerConfigValue",
    "type",
    {"stdio", "http", "sse", "ws"},
    {{{"stdio", mcp::kStdio},
      {"http", mcp::kHttp},
      {"streamable-http", mcp::kHttp},
      {"sse", mcp::kSse},
      {"websocket", mcp::kWebSocket},
      {"ws", mcp::kWebSocket}}}};

}  // namespace record

// Found by argument-dependent lookup through the variant's alternatives.
constexpr const auto& json_record(const McpServerConfigValue*) { return record::kMcpServerConfigValue; }

}  // namespace revizer::agent
