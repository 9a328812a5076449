"""The README's Dask recipe wraps a shadow-format table on a local cluster
of two workers, line by line as the policy does."""

import re

import pytest

import dessec
from conftest import SOURCE
from test_policy import PASSWORD
from test_wrap import LEGACY

distributed = pytest.importorskip("distributed")


def readme_recipe():
    code = re.search(r"```python\n(import dask.*?)```", (SOURCE / "README.md").read_text(), re.DOTALL).group(1)
    namespace = {}
    exec(compile(code, "<the README's Dask recipe>", "exec"), namespace)
    return namespace["wrap_table"]


def test_the_dask_recipe_on_two_workers(tmp_path):
    wrap_table = readme_recipe()
    modern = dessec.hash(PASSWORD, cost=1)
    lines = [f"user{index}:{stored}:19000:0:99999:7:::\n"
             for index, stored in enumerate([s for s in LEGACY if ":" not in s] * 3 + [modern, "!"])]
    (tmp_path / "shadow").write_text("".join(lines))
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=":0") as cluster, \
            distributed.Client(cluster) as client:
        wrap_table(client, str(tmp_path / "shadow"), str(tmp_path / "wrapped" / "*.part"), cost=1)
    parts = sorted((tmp_path / "wrapped").glob("*.part"), key=lambda part: int(part.stem))
    wrapped = "".join(part.read_text() for part in parts).splitlines(keepends=True)
    policy = dessec.Policy("yescrypt", cost=1)
    assert len(wrapped) == len(lines)
    for new, old in zip(wrapped, lines):
        name, stored, rest = new.split(":", 2)
        assert [name, rest] == old.split(":", 2)[::2]
        old_stored = old.split(":")[1]
        if old_stored in (modern, "!"):
            assert stored == old_stored
        else:
            assert dessec.identify(stored) == "dessec_wrapped" and policy.verify(PASSWORD, stored)
