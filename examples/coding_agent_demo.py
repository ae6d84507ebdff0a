"""A coding agent's trajectory adjudicated step by step, as an agent runtime
would do it: each step becomes an Event, the client awaits the service's
verdict, and a denied or escalated step is reported with deny_message().

    python examples/coding_agent_demo.py [ENDPOINT]

With an endpoint the token is TAVIMOR_API_TOKEN's. Without one it starts the
local policy service of tests/peers
(policy_server.py: destructive shell commands are denied, writes outside the
workspace root escalated, everything else allowed) and stops it at the end.
"""

import asyncio
import os
import pathlib
import sys

from tavimor_revizer_client import (
    Agent,
    AgentCard,
    AgentCardMetadata,
    CodingAgentCard,
    CodingAgentCardCapabilities,
    Completed,
    Decision,
    Event,
    FileOperation,
    FileOpType,
    Prompt,
    PromptRole,
    RevizerClient,
    ShellCommand,
    ShellCommandOutput,
    Started,
    Thought,
    ToolCall,
)

WORKSPACE = "/home/dev/projects/payments-service"
TOKEN = "demo-token"


def coding_agent():
    card = CodingAgentCard(
        metadata=AgentCardMetadata(schema_version="1.2", hook_version="2025-09-01"),
        model="claude-sonnet-4-5",
        workspace_root=WORKSPACE,
        execution_mode="acceptEdits",
        capabilities=CodingAgentCardCapabilities(tools=[], hook_commands=["PreToolUse"]),
    )
    return Agent("agent-payments-1", "anthropic", platform="claude-code", card=AgentCard.coding(card))


def trajectory(agent):
    """The steps of one session, in order: (what the step is, its payload)."""
    return [
        ("session starts", Started(agent, task="Fix the refund rounding bug")),
        ("user prompt", Prompt("Refunds round half-cents the wrong way; fix it and run the tests.", PromptRole.USER)),
        ("agent thinks", Thought("The refund amount is computed with floats; use Decimal.")),
        ("reads a file", ToolCall("Read", {"file_path": f"{WORKSPACE}/src/refunds.py"})),
        ("edits a file", FileOperation(FileOpType.EDIT, f"{WORKSPACE}/src/refunds.py",
                                       content="return Decimal(amount).quantize(CENT, ROUND_HALF_UP)",
                                       old_content="return round(amount, 2)")),
        ("runs the tests", ShellCommand("pytest -q tests/test_refunds.py", working_dir=WORKSPACE)),
        ("test output", ShellCommandOutput("call-tests", 0, "12 passed in 0.41s", "")),
        ("cleans up", ShellCommand("rm -rf build/ ~/.cache/pip", working_dir=WORKSPACE)),
        ("edits /etc/hosts", FileOperation(FileOpType.WRITE, "/etc/hosts", content="127.0.0.1 payments.local")),
        ("pushes", ToolCall("Bash", {"command": "git push --force origin main"})),
        ("session ends", Completed(summary="Refund rounding fixed; tests pass.")),
    ]


def show(number, step, event, verdict):
    kind = f"{event.category}/{event.event_type}"
    print(f"{number:2}. {step:17} {kind:34} {str(verdict.decision).upper():9} {verdict.reason or ''}")
    if verdict.decision != Decision.ALLOW:
        for line in verdict.deny_message("Blocked by the local policy").splitlines():
            print(f"      | {line}")


async def adjudicate_trajectory(endpoint, token=TOKEN):
    client = await RevizerClient.connect(endpoint, token)
    agent = coding_agent()
    events = [(step, Event(agent, "trajectory-demo-1", payload)) for step, payload in trajectory(agent)]

    print(f"Adjudicating {len(events)} steps of a coding agent's session at {endpoint}, one at a time:\n")
    for number, (step, event) in enumerate(events, 1):
        show(number, step, event, await client.adjudicate(event))

    # The same trajectory as one batch, the way stored trajectories are replayed.
    verdicts = await client.adjudicates([event.to_json() for _, event in events])
    decisions = (Decision.ALLOW, Decision.DENY, Decision.ESCALATE)
    counts = ", ".join(f"{sum(v.decision == d for v in verdicts)} {d}" for d in decisions)
    print(f"\nThe whole trajectory as one batch: {len(verdicts)} verdicts ({counts})")


def main():
    if len(sys.argv) > 1:
        asyncio.run(adjudicate_trajectory(sys.argv[1], os.environ.get("TAVIMOR_API_TOKEN", TOKEN)))
        return
    peers = pathlib.Path(__file__).resolve().parents[1] / "tests" / "peers"
    sys.path.insert(0, str(peers))
    from peer_process import ServerProcess

    with ServerProcess([sys.executable, str(peers / "policy_server.py")]) as service:
        print(f"Local policy service started on 127.0.0.1:{service.port}")
        asyncio.run(adjudicate_trajectory(f"http://127.0.0.1:{service.port}"))
    print("Local policy service stopped")


if __name__ == "__main__":
    main()
