"""The type stubs describe the module as built: every public name and every
public member of its classes, and nothing that is not there."""

import ast
import pathlib

import tallygate
from tallygate import _tallygate


def stub_names():
    """Top-level names of the stubs: a class's members (its stub bases' too), None for a function."""
    tree = ast.parse(pathlib.Path(_tallygate.__file__).with_name("_tallygate.pyi").read_text())
    members = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            inherited = set()
            for base in node.bases:
                base_name = base.value.id if isinstance(base, ast.Subscript) else base.id
                inherited |= members.get(base_name) or set()
            members[node.name] = inherited | {
                item.name if isinstance(item, ast.FunctionDef) else item.target.id
                for item in node.body
                if isinstance(item, (ast.FunctionDef, ast.AnnAssign))}
        elif isinstance(node, ast.FunctionDef):
            members[node.name] = None
    return members


def public(names):
    return {name for name in names if not name.startswith("_")}


def test_stubs_match_the_module():
    stubs = stub_names()
    assert public(stubs) == public(dir(_tallygate))
    assert set(tallygate.__all__) == public(stubs)
    for name in public(stubs):
        runtime = getattr(_tallygate, name)
        if stubs[name] is not None and not issubclass(runtime, BaseException):
            assert public(stubs[name]) == public(dir(runtime)), name
