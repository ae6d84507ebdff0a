"""Tool against a slots dataclass and a pydantic v2 model, in one run.

Measures construction, a text property read, to_dict and from_dict, and
prints nanoseconds per call (best of several repeats) with the ratios that
our targets are stated in:
  construction   no slower than the slots dataclass
  property read  within 3x of the dataclass attribute read
  to_dict        at least 2x faster than pydantic's model_dump
  from_dict      at least 2x faster than pydantic's model_validate

    .venv/bin/python bench/python/bench_tool.py [--quick]
"""
from __future__ import annotations

import dataclasses
import sys
import time
from typing import Optional

import pydantic

from tavimor_revizer_client import Parameter, SourceCode, Tool


@dataclasses.dataclass(slots=True)
class DParameter:
    name: str
    description: str
    param_type: str


@dataclasses.dataclass(slots=True)
class DSourceCode:
    language: str
    code: str


@dataclasses.dataclass(slots=True)
class DTool:
    name: str
    description: str
    parameters: list[DParameter]
    id: Optional[str] = None
    parameters_json_schema: Optional[str] = None
    response: Optional[str] = None
    response_json_schema: Optional[str] = None
    source: Optional[DSourceCode] = None


class PParameter(pydantic.BaseModel):
    model_config = pydantic.ConfigDict(populate_by_name=True)
    name: str
    description: str
    param_type: str = pydantic.Field(alias="type")


class PSourceCode(pydantic.BaseModel):
    language: str
    code: str


class PTool(pydantic.BaseModel):
    id: Optional[str] = None
    name: str
    description: str
    parameters: list[PParameter] = []
    parameters_json_schema: Optional[str] = None
    response: Optional[str] = None
    response_json_schema: Optional[str] = None
    source: Optional[PSourceCode] = None


DATA = {
    "id": "tool-1",
    "name": "search",
    "description": "Searches the web for pages that match a query.",
    "parameters": [
        {"name": "q", "description": "the query", "type": "string"},
        {"name": "n", "description": "how many results", "type": "integer"},
    ],
    "parameters_json_schema": '{"type": "object"}',
    "source": {"language": "python", "code": "def search(q, n): ..."},
}


def best_ns(fn, number, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter_ns()
        fn(number)
        best = min(best, (time.perf_counter_ns() - start) / number)
    return best


def loop(body):
    """A timing loop around one statement, compiled so the loop costs alike."""
    namespace = dict(globals())
    exec(f"def run(n):\n    for _ in range(n):\n        {body}\n", namespace)
    return namespace["run"]


def main():
    quick = "--quick" in sys.argv
    number, repeat = (2_000, 3) if quick else (200_000, 7)

    ours_params = [Parameter(p["name"], p["description"], p["type"]) for p in DATA["parameters"]]
    ours_source = SourceCode(**DATA["source"])
    d_params = [DParameter(p["name"], p["description"], p["type"]) for p in DATA["parameters"]]
    d_source = DSourceCode(**DATA["source"])
    p_params = [PParameter(**p) for p in DATA["parameters"]]
    p_source = PSourceCode(**DATA["source"])
    globals().update(
        ours=Tool.from_dict(DATA), dc=DTool(DATA["name"], DATA["description"], d_params, id="tool-1",
                                            parameters_json_schema=DATA["parameters_json_schema"], source=d_source),
        pm=PTool.model_validate(DATA), ours_params=ours_params, ours_source=ours_source, d_params=d_params,
        d_source=d_source, p_params=p_params, p_source=p_source,
    )
    assert Tool.from_dict(DATA).to_dict() == DATA
    assert PTool.model_validate(DATA).model_dump(by_alias=True, exclude_none=True) == DATA

    ctor = ('("search", "Searches the web.", {p}, id="tool-1", '
            'parameters_json_schema=\'{{"type": "object"}}\', source={s})')
    cases = {
        "construct": {
            "Tool": loop("Tool" + ctor.format(p="ours_params", s="ours_source")),
            "dataclass": loop("DTool" + ctor.format(p="d_params", s="d_source")),
            "pydantic": loop("PTool" + ctor.replace('"search", "Searches the web.", {p}',
                                                    'name="search", description="Searches the web.", parameters={p}')
                             .format(p="p_params", s="p_source")),
        },
        "read .name": {"Tool": loop("ours.name"), "dataclass": loop("dc.name"), "pydantic": loop("pm.name")},
        "to_dict": {
            "Tool": loop("ours.to_dict()"),
            "dataclass": loop("dataclasses.asdict(dc)"),
            "pydantic": loop("pm.model_dump(by_alias=True, exclude_none=True)"),
        },
        "from_dict": {
            "Tool": loop("Tool.from_dict(DATA)"),
            "dataclass": None,
            "pydantic": loop("PTool.model_validate(DATA)"),
        },
    }

    print(f"Python {sys.version.split()[0]}, pydantic {pydantic.VERSION}; ns per call, best of {repeat} x {number}")
    print(f"{'operation':<12}{'Tool':>10}{'dataclass':>11}{'pydantic':>10}   ratios")
    results = {}
    for name, runs in cases.items():
        row = {k: (best_ns(fn, number, repeat) if fn else None) for k, fn in runs.items()}
        results[name] = row
        cells = "".join(f"{(f'{v:.0f}' if v is not None else '-'):>{w}}" for v, w in
                        zip(row.values(), (10, 11, 10)))
        ratios = []
        if row["dataclass"]:
            ratios.append(f"Tool/dataclass {row['Tool'] / row['dataclass']:.2f}")
        ratios.append(f"pydantic/Tool {row['pydantic'] / row['Tool']:.2f}")
        print(f"{name:<12}{cells}   {', '.join(ratios)}")

    checks = [
        ("construction no slower than the dataclass", results["construct"]["Tool"] <= results["construct"]["dataclass"]),
        ("property read within 3x of the dataclass", results["read .name"]["Tool"] <= 3 * results["read .name"]["dataclass"]),
        ("to_dict at least 2x faster than pydantic", 2 * results["to_dict"]["Tool"] <= results["to_dict"]["pydantic"]),
        ("from_dict at least 2x faster than pydantic", 2 * results["from_dict"]["Tool"] <= results["from_dict"]["pydantic"]),
    ]
    for text, ok in checks:
        print(f"{'met ' if ok else 'MISSED'}  {text}")


if __name__ == "__main__":
    main()
