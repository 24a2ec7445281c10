# The same workflow as workflow_jobs.lisp, built as nested blocks of lines and written out.
COUNT = 100

def quote(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'

def indent(prefix, block):
    return [indent(prefix, b) if isinstance(b, list) else prefix + b for b in block if b is not None]

def flatten(block):
    out = []
    for b in block:
        if isinstance(b, list):
            out.extend(flatten(b))
        elif b is not None:
            out.append(b)
    return out

def use(action, name=None, with_=None):
    return ["- uses: " + quote(action),
            "  name: " + quote(name) if name else None,
            ["  with: ", indent("    ", [k + ": " + str(v) for k, v in with_])] if with_ else None]

def run(command, if_=None):
    return ["- run: " + quote(command), "  if: " + quote(if_) if if_ else None]

def job(name, runs_on, steps, needs=None, env=None):
    return [name + ":", indent("  ", [
        "needs: [" + ", ".join(quote(n) for n in needs) + "]" if needs is not None else None,
        ["env:", indent("  ", [k + ": " + quote(v) for k, v in env])] if env else None,
        "runs-on: " + runs_on, "steps:", indent("  ", steps)])]

def build_job(i):
    name = "job" + str(i)
    return job(name, "ubuntu-latest", [
        use("actions/checkout@v4", name="Check out", with_=[("fetch-depth", 1)]),
        run("make -C part" + str(i)),
        run("make -C part" + str(i) + " test", if_="success()"),
        use("actions/upload-artifact@v4", with_=[("name", name), ("path", "out/")])],
        needs=["job" + str(i - 1)] if i else [], env=[("JOB", name)])

workflow = ["name: Build", "on: [push]", ["jobs:", indent("  ", [build_job(i) for i in range(COUNT)])]]
with open("/dev/null", "w") as f:
    f.write("\n".join(flatten(workflow)))
