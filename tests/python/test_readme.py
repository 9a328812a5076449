"""The README's login example, taken from the README itself, works, and
unwraps wrapped hashes."""

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


def stored_hash(db, user):
    return db.execute("SELECT hash FROM users WHERE name = ?", (user,)).fetchone()[0]


def test_login_moves_every_weak_hash_on_success():
    login = readme_login()
    db = sqlite3.connect(":memory:")
    db.execute("CREATE TABLE users (name TEXT PRIMARY KEY, hash)")
    users = {"alice": dessec.crypt("hunter2", "ab"), "bob": dessec.hash("hunter2", "bcrypt", cost=4),
             "carol": dessec.crypt("hunter2", "_J9..CCCC").encode(), "dave": None,
             "erin": dessec.Policy().wrap(dessec.crypt("hunter2", "cd"))}
    db.executemany("INSERT INTO users VALUES (?, ?)", users.items())

    assert not login(db, "alice", "hunter3") and stored_hash(db, "alice") == "ab0ozUNIgzCZ."
    assert not login(db, "nobody", "hunter2") and not login(db, "dave", "hunter2")
    for user in ("alice", "bob", "carol", "erin"):
        assert login(db, user, "hunter2")
        upgraded = stored_hash(db, user)
        assert upgraded.startswith("$y$j9T$") and system_crypt("hunter2", upgraded) == upgraded
        assert login(db, user, "hunter2") and not login(db, user, "hunter3")
        assert stored_hash(db, user) == upgraded
