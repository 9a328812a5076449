"""The README's migration example, taken from the README itself, works."""

import re
import sqlite3

import dessec
from conftest import SOURCE, system_crypt


def readme_login():
    python_section = (SOURCE / "README.md").read_text().split("\n## Python\n", 1)[1]
    code = re.search(r"```python\n(.*?)```", python_section, re.DOTALL).group(1)
    namespace = {}
    exec(compile(code, "README.md", "exec"), namespace)
    return namespace["login"]


def stored_hash(db):
    return db.execute("SELECT hash FROM users WHERE name = 'alice'").fetchone()[0]


def test_login_replaces_a_legacy_hash_on_success():
    login = readme_login()
    db = sqlite3.connect(":memory:")
    db.execute("CREATE TABLE users (name TEXT PRIMARY KEY, hash TEXT)")
    db.execute("INSERT INTO users VALUES ('alice', ?)", (dessec.crypt("hunter2", "ab"),))

    assert not login(db, "alice", "hunter3") and stored_hash(db) == "ab0ozUNIgzCZ."
    assert not login(db, "bob", "hunter2")
    assert login(db, "alice", "hunter2")
    upgraded = stored_hash(db)
    assert upgraded.startswith("$y$") and system_crypt("hunter2", upgraded) == upgraded
    assert login(db, "alice", "hunter2") and not login(db, "alice", "hunter3")
    assert stored_hash(db) == upgraded
