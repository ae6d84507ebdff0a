"""A small local policy service: a real gRPC server of RevizerService
(grpcio) with a few plain rules, for the demo and for tests that want answers
that depend on what the events say.

    python policy_server.py [--port N] [--tls-cert PEM --tls-key PEM]
                            [--workspace-root DIR] [--mode steer|govern|monitor]

Same process protocol as the test servers: the port is the first line on
stdout; SIGTERM, SIGINT or the end of a piped stdin stop it.

Rules, for each event (its payload is the event envelope in JSON form):
- deny-destructive-shell: a ShellCommand, or a ToolCall of a "Bash"/"Shell"
  tool with a "command" argument, whose command line runs a destructive
  command: rm with both recursive and force flags, mkfs, dd onto a device,
  shred, wipefs, git push --force, git reset --hard, git clean -f with -d
  or -x, find -delete, a fork bomb; also inside `sh -c "..."` and `eval`.
  Other quoted text is not a command: `echo "rm -rf /"` is allowed.
- escalate-write-outside-workspace: a FileOperation that writes (Write, Edit,
  Delete), or a ToolCall of a "Write"/"Edit" tool with a "file_path" or
  "path" argument, whose path lies outside the workspace root: the one given
  with --workspace-root, else the event agent's coding-agent card's
  "workspace_root". Relative paths are taken from the root; ".." is resolved.
  A write for which no root is known is escalated too.
- allow-default: everything else is allowed.
Every answer carries its rule's policy metadata and the policy set's
provenance; denials and escalations carry steering for the agent.
"""

import hashlib
import json
import os
import posixpath
import re
import shlex
import sys

import grpc
from google.protobuf import json_format

import peer_answers
from grpcio_server import PeerServer, argument_parser, parse_request, serve_until_stopped

MODES = ("monitor", "govern", "steer")

RULES = {
    "deny-destructive-shell": "Denies shell commands that destroy data or history beyond easy recovery",
    "escalate-write-outside-workspace": "Escalates file writes outside the agent's workspace root to a human",
    "allow-default": "Allows what no other rule stops",
}
EFFECTS = {"deny-destructive-shell": "deny", "escalate-write-outside-workspace": "escalate", "allow-default": "allow"}

POLICY_SET = {
    "name": "local-demo-policies",
    "version": 1,
    "revision": "2025-03-04",
    "digest": "sha256:" + hashlib.sha256(json.dumps(RULES, sort_keys=True).encode()).hexdigest(),
    "labels": {"env": "local", "owner": "demo"},
    "policies": [{"name": name, "labels": {"effect": EFFECTS[name]}} for name in RULES],
}

SHELL_TOOLS = {"bash", "shell"}
WRITE_TOOLS = {"write", "edit"}
WRITE_OPERATIONS = {"Write", "Edit", "Delete"}

# --- destructive shell commands ---------------------------------------------------

_SEPARATORS = {";", "&&", "||", "|", "&", "(", ")", "{", "}", "\n"}
_PREFIXES = {"sudo", "doas", "nohup", "time", "exec", "command", "builtin", "env", "xargs"}
_FORK_BOMB = re.compile(r":\s*\(\s*\)\s*\{\s*:\s*\|\s*:\s*&\s*\}\s*;\s*:")


def _commands(command_line):
    """The simple commands of a command line, each a list of words, with
    quoting resolved and prefixes such as sudo or VAR=value dropped."""
    lexer = shlex.shlex(command_line, posix=True, punctuation_chars=";&|(){}")
    lexer.whitespace_split = True
    lexer.commenters = ""
    try:
        tokens = list(lexer)
    except ValueError:  # an unclosed quote: judge the line word by word
        tokens = command_line.split()
    commands, words = [], []
    for token in tokens:
        if token in _SEPARATORS or set(token) <= set(";&|"):
            if words:
                commands.append(words)
            words = []
            continue
        if not words and (token in _PREFIXES or re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*=.*", token)):
            continue
        words.append(token)
    if words:
        commands.append(words)
    return commands


def _short_flags(args):
    flags = set()
    for arg in args:
        if arg == "--":
            break
        if arg.startswith("-") and not arg.startswith("--"):
            flags.update(arg[1:])
    return flags


def destructive_reason(command_line):
    """Why a command line is destructive, or None."""
    if _FORK_BOMB.search(command_line):
        return "a fork bomb"
    for words in _commands(command_line):
        name, args = posixpath.basename(words[0]), words[1:]
        flags = _short_flags(args)
        if name in ("sh", "bash", "zsh", "dash") and "-c" in args[:-1]:
            inner = destructive_reason(args[args.index("-c") + 1])
            if inner:
                return inner
        elif name == "eval" and args:
            inner = destructive_reason(" ".join(args))
            if inner:
                return inner
        elif name == "rm":
            recursive = bool(flags & {"r", "R"}) or "--recursive" in args
            force = "f" in flags or "--force" in args
            if recursive and force:
                return "rm with recursive and force flags"
        elif name.startswith("mkfs"):
            return "formatting a file system (mkfs)"
        elif name == "dd" and any(a.startswith("of=/dev/") for a in args):
            return "dd onto a device"
        elif name in ("shred", "wipefs"):
            return f"{name}, which destroys data"
        elif name == "find" and "-delete" in args:
            return "find -delete"
        elif name == "git" and args:
            sub, rest = args[0], args[1:]
            if sub == "push" and ("--force" in rest or "-f" in rest or any(a.startswith("--force") for a in rest)):
                return "git push --force, which rewrites shared history"
            if sub == "reset" and "--hard" in rest:
                return "git reset --hard, which discards uncommitted work"
            sub_flags = _short_flags(rest)
            if sub == "clean" and ("f" in sub_flags or "--force" in rest) and sub_flags & {"d", "x"}:
                return "git clean -f with -d or -x, which deletes untracked files"
    return None


# --- writes outside the workspace -------------------------------------------------


def outside_workspace(path, root):
    """Whether `path` (relative paths from `root`) lies outside `root`."""
    root = posixpath.normpath(root)
    target = posixpath.normpath(posixpath.join(root, path))
    return posixpath.commonpath([root, target]) != root


# --- answers ---------------------------------------------------------------------


class PolicyEngine:
    def __init__(self, workspace_root=None, mode="steer"):
        if mode not in MODES:
            raise ValueError(f"mode must be one of {', '.join(MODES)}")
        self.workspace_root = workspace_root
        self.mode = mode

    def adjudicate(self, envelope):
        """The Adjudicated JSON form of one event envelope (a dict)."""
        event = envelope.get("event") if isinstance(envelope.get("event"), dict) else {}
        payload = event.get("payload") if isinstance(event.get("payload"), dict) else {}
        kind, data = payload.get("type"), payload.get("data")
        data = data if isinstance(data, dict) else {}
        category = event.get("category")

        command = self._shell_command(category, kind, data)
        if command is not None:
            why = destructive_reason(command)
            if why:
                return self._deny(command, why)
        path = self._written_path(category, kind, data)
        if path is not None:
            root = self.workspace_root or self._card_root(envelope)
            if root is None:
                return self._escalate(path, None)
            if outside_workspace(path, root):
                return self._escalate(path, root)
        return self._answer("Allow", "allow-default", "no rule stops this event")

    @staticmethod
    def _shell_command(category, kind, data):
        if category != "Action":
            return None
        if kind == "ShellCommand" and isinstance(data.get("command"), str):
            return data["command"]
        arguments = data.get("arguments")
        if kind == "ToolCall" and str(data.get("tool", "")).lower() in SHELL_TOOLS and isinstance(arguments, dict):
            command = arguments.get("command")
            return command if isinstance(command, str) else None
        return None

    @staticmethod
    def _written_path(category, kind, data):
        if category != "Action":
            return None
        if kind == "FileOperation" and data.get("operation") in WRITE_OPERATIONS:
            return data.get("path") if isinstance(data.get("path"), str) else None
        arguments = data.get("arguments")
        if kind == "ToolCall" and str(data.get("tool", "")).lower() in WRITE_TOOLS and isinstance(arguments, dict):
            for key in ("file_path", "path"):
                if isinstance(arguments.get(key), str):
                    return arguments[key]
        return None

    @staticmethod
    def _card_root(envelope):
        agent = envelope.get("agent")
        card = agent.get("card") if isinstance(agent, dict) else None
        coding = card.get("CodingAgentCard") if isinstance(card, dict) else None
        root = coding.get("workspace_root") if isinstance(coding, dict) else None
        return root if isinstance(root, str) and root else None

    def _answer(self, decision, rule, reason, metadata=None, escalate=False, steering=None):
        policy = {"policy_id": rule, "description": RULES[rule]}
        if escalate:
            policy["escalate"] = True
            policy["escalate_arg"] = "human-review"
        if metadata:
            policy["metadata"] = metadata
        answer = {"decision": decision, "mode": self.mode, "reason": reason, "metadata": [policy]}
        if steering:
            answer["steering"] = steering
        answer["policy_sources"] = [POLICY_SET]
        return answer

    def _deny(self, command, why):
        return self._answer(
            "Deny",
            "deny-destructive-shell",
            f"destructive shell command: {why}",
            metadata={"command": command, "finding": why},
            steering={
                "instructions": [
                    "Do not run this command.",
                    "Remove only the specific files you created, by name, without force flags.",
                    "Ask the user before deleting or rewriting anything you did not create.",
                ],
                "explanation": f"The command runs {why}; its effect cannot be undone from the workspace.",
            },
        )

    def _escalate(self, path, root):
        if root is None:
            reason = f"file write to {path} with no known workspace root"
            metadata = {"path": path}
        else:
            reason = f"file write outside the workspace root: {path} is not under {root}"
            metadata = {"path": path, "workspace_root": root}
        return self._answer(
            "Escalate",
            "escalate-write-outside-workspace",
            reason,
            metadata=metadata,
            escalate=True,
            steering={
                "instructions": [
                    "Wait for a human to approve this write before retrying it.",
                    "Prefer a path inside the workspace root.",
                ],
                "explanation": "Writes outside the workspace can change the system or other projects.",
            },
        )


def policy_handler(engine):
    def adjudicates(request_bytes, context, server):
        request = parse_request(request_bytes, context)
        answers = bytearray()
        for event in request.events:
            if not event.HasField("payload"):
                context.abort(grpc.StatusCode.INVALID_ARGUMENT, f"event '{event.event_id}' has no payload")
            decision = engine.adjudicate(json_format.MessageToDict(event.payload))
            answers += peer_answers.wire_field(1, peer_answers.answer_event(event, decision))
        yield bytes(answers)

    return adjudicates


class PolicyServer(PeerServer):
    """The policy service in-process (no relay: its answers need none)."""

    def __init__(self, workspace_root=None, mode="steer", **options):
        self.engine = PolicyEngine(workspace_root, mode)
        super().__init__(policy_handler(self.engine), direct=True, **options)


def main(argv=None):
    parser = argument_parser("Local policy service of RevizerService (grpcio)", relay=False)
    parser.add_argument("--workspace-root", help="the workspace root (default: each event's coding-agent card)")
    parser.add_argument("--mode", choices=MODES, default="steer", help="the mode its answers report")
    args = parser.parse_args(argv)
    if (args.tls_cert is None) != (args.tls_key is None):
        sys.exit("policy_server: give both --tls-cert and --tls-key, or neither")
    root = os.path.abspath(args.workspace_root) if args.workspace_root else None
    try:
        server = PolicyServer(root, args.mode, port=args.port, tls_cert=args.tls_cert, tls_key=args.tls_key)
    except OSError as error:
        sys.exit(f"policy_server: {error}")
    serve_until_stopped(server)


if __name__ == "__main__":
    main()
