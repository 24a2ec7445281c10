# The same configuration as nginx_servers.lisp, built as a tree and rendered the same way.
COUNT = 300

def directive(name, *args):
    return name + " " + " ".join(args) + ";"

def block(name, args, body):
    header = name + (" " + " ".join(args) if args else "") + " {"
    return [header, [line for node in body for line in indent(node)], "}"]

def indent(node):
    if isinstance(node, str):
        return ["    " + node]
    return ["    " + line for line in flatten(node)]

def flatten(node):
    if isinstance(node, str):
        return [node]
    out = []
    for child in node:
        out.extend(flatten(child))
    return out

def site(i):
    name = "site" + str(i) + ".example.org"
    return block("server", None, [
        directive("listen", "80"),
        directive("server_name", name),
        block("location", ["/"], [
            directive("proxy_pass", "http://127.0.0.1:" + str(8000 + i)),
            directive("proxy_set_header", "Host", "$host"),
            directive("proxy_set_header", "X-Real-IP", "$remote_addr")]),
        block("location", ["/static/"], [directive("root", "/srv/" + name)])])

config = block("http", None, [site(i) for i in range(COUNT)])
with open("/dev/null", "w") as f:
    f.write("\n".join(flatten(config)))
