"""Waiting for a state with a deadline, as every end-to-end test does, and the two errors
that decide whether a wait goes on."""
from __future__ import annotations

import time
from typing import Any, Callable


class RigError(RuntimeError):
    """The rig itself failed; waits do not retry on it."""


class ProbeError(RigError):
    """A probe command failed; waits retry on it."""


def wait_until(predicate: Callable[[], Any], timeout: float = 10.0, interval: float = 0.05, message: str = ""):
    """Polls predicate until it returns something truthy and returns that. An exception
    other than RigError counts as "not yet"; on timeout, TimeoutError names the last."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            if value := predicate():
                return value
        except ProbeError as error:
            last_error = error
        except RigError:
            raise
        except Exception as error:  # noqa: BLE001 - named on timeout
            last_error = error
        if time.monotonic() >= deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise TimeoutError(f"timed out after {timeout:g} s waiting for {message or predicate}{detail}")
        time.sleep(interval)


def settle(value: Callable[[], Any], expected, timeout: float = 15.0):
    """value()'s result once it is `expected`, or its last one when the time is up, for an
    assertion to show."""
    deadline = time.monotonic() + timeout
    while (result := value()) != expected and time.monotonic() < deadline:
        time.sleep(0.1)
    return result
