"""What the device checks share: one line for each check, and a closing line that counts."""

failures = []


def check(what, ok, detail=""):
    """Prints the check's line and remembers it if it failed."""
    print(("   ok    " if ok else "   FAIL  ") + what + (f": {detail}" if detail else ""))
    if not ok:
        failures.append(what)


def finish(subject):
    """The closing line; answers the exit code, 1 when any check failed."""
    if failures:
        print(f"== {len(failures)} checks of {subject} FAILED")
        return 1
    print(f"== The {subject} passed every check")
    return 0
