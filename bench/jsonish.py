"""Twin of jsonish.vl: the text grows in a list of pieces joined at the end (appending to a global str
copies the whole text each time)."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1
keys = ["id", "name", "score", "active", "tags", "where", "x", "y"]
out = []


def emit(x):
    if isinstance(x, bool):
        out.append("true" if x else "false")
    elif isinstance(x, int):
        out.append(str(x))
    elif isinstance(x, float):
        out.append("%g" % x)
    elif isinstance(x, str):
        out.append("\"" + x + "\"")
    elif isinstance(x, list):
        out.append("[")
        for i in range(len(x)):
            if i > 0:
                out.append(",")
            emit(x[i])
        out.append("]")
    else:
        out.append("{")
        first = True
        for k in keys:
            if k in x:
                if not first:
                    out.append(",")
                first = False
                emit(k)
                out.append(":")
                emit(x[k])
        out.append("}")


def record(i):
    tags = []
    for t in range(i % 4):
        tags.append("t" + str((i + t) % 10))
    return {"id": i, "name": "item" + str(i), "score": i / 8.0, "active": i % 3 == 0, "tags": tags,
            "where": {"x": i % 100, "y": i // 100}}


def main():
    n = 10000 // scale
    text = ""
    for _ in range(5):
        items = [record(i) for i in range(n)]
        out.clear()
        emit(items)
        text = "".join(out)
    print(len(text))
    step = len(text) // 7
    at = 0
    while at + 4 <= len(text):
        print("%d: %s" % (at, text[at:at + 4]))
        at += step


main()
