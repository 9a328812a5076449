"""Calls from many threads at once give the single-thread answers. That
they run in parallel is shown by bench/python_threads.py."""

import threading

import dessec

THREADS = 8
ROUNDS = 20
KEY, IV = bytes.fromhex("0123456789abcdef"), bytes.fromhex("1234567890abcdef")
SECRET = "0123456789abcdef" * 3
RECORD = dessec.xencrypt(SECRET + SECRET[:16], "pw")
POLICY = dessec.Policy("yescrypt", cost=1)
HASHES = [POLICY.hash(f"password {thread}") for thread in range(THREADS)]


def answers(thread: int):
    # Each thread hashes its own passwords too: passwd_crypt's result is
    # storage of the calling thread, and must never show another's.
    password = f"password {thread}"
    data = bytes(range(thread, thread + 64))
    return (
        dessec.crypt(password, "ab"),
        dessec.crypt(password, "_J9..CCCC"),
        dessec.verify(password, dessec.crypt(password, "Xy")),
        dessec.verify("password", "$1$abcdefgh$G//4keteveJp0qb8z2DxG/"),
        dessec.des_ecb(KEY, data),
        dessec.des_cbc(KEY, data, IV),
        dessec.xencrypt(data.hex(), password),
        dessec.decrypt_secret_key(RECORD, "pw"),
        dessec.dh("%x" % (thread + 2), SECRET, dessec.MODULUS),
        # The system's crypt library, with data of each call's own.
        POLICY.verify(password, HASHES[thread]),
        POLICY.verify(password, HASHES[(thread + 1) % THREADS]),
    )


def test_threads_give_the_single_thread_answers():
    expected = [answers(thread) for thread in range(THREADS)]
    results = [[] for _ in range(THREADS)]
    start = threading.Barrier(THREADS)

    def run(thread):
        start.wait()
        for _ in range(ROUNDS):
            results[thread].append(answers(thread))

    workers = [threading.Thread(target=run, args=(thread,)) for thread in range(THREADS)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    for thread in range(THREADS):
        assert results[thread] == [expected[thread]] * ROUNDS
