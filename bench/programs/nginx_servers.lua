-- The same configuration as nginx_servers.lisp, built as a tree and rendered the same way.
local COUNT = 300

local function flatten(node, out)
  if type(node) == "string" then out[#out + 1] = node; return out end
  for _, child in ipairs(node) do flatten(child, out) end
  return out
end

local function directive(name, ...)
  return name .. " " .. table.concat({...}, " ") .. ";"
end

local function block(name, args, body)
  local header = name .. (args and (" " .. table.concat(args, " ")) or "") .. " {"
  local inner = {}
  for _, node in ipairs(body) do
    for _, line in ipairs(flatten(node, {})) do inner[#inner + 1] = "    " .. line end
  end
  return {header, inner, "}"}
end

local function site(i)
  local name = "site" .. i .. ".example.org"
  return block("server", nil, {
    directive("listen", "80"),
    directive("server_name", name),
    block("location", {"/"}, {
      directive("proxy_pass", "http://127.0.0.1:" .. (8000 + i)),
      directive("proxy_set_header", "Host", "$host"),
      directive("proxy_set_header", "X-Real-IP", "$remote_addr")}),
    block("location", {"/static/"}, {directive("root", "/srv/" .. name)})})
end

local servers = {}
for i = 0, COUNT - 1 do servers[#servers + 1] = site(i) end
local f = io.open("/dev/null", "w")
f:write(table.concat(flatten(block("http", nil, servers), {}), "\n"))
f:close()
