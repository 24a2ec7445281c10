-- The same workflow as workflow_jobs.lisp, built as nested blocks of lines and written out.
local COUNT = 100

local function quote(s)
  return '"' .. s:gsub("\\", "\\\\"):gsub('"', '\\"'):gsub("\n", "\\n") .. '"'
end

local function indent(prefix, block)
  local out = {}
  for _, b in ipairs(block) do
    if type(b) == "table" then out[#out + 1] = indent(prefix, b)
    elseif b then out[#out + 1] = prefix .. b end
  end
  return out
end

local function flatten(block, out)
  for _, b in ipairs(block) do
    if type(b) == "table" then flatten(b, out) else out[#out + 1] = b end
  end
  return out
end

local function pairs_lines(list, fmt)
  local out = {}
  for _, p in ipairs(list) do out[#out + 1] = p[1] .. ": " .. fmt(p[2]) end
  return out
end

local function use(action, name, with)
  local step = {"- uses: " .. quote(action)}
  if name then step[#step + 1] = "  name: " .. quote(name) end
  if with then step[#step + 1] = {"  with: ", indent("    ", pairs_lines(with, tostring))} end
  return step
end

local function run(command, cond)
  local step = {"- run: " .. quote(command)}
  if cond then step[#step + 1] = "  if: " .. quote(cond) end
  return step
end

local function job(name, runs_on, steps, needs, env)
  local body = {}
  if needs then
    local quoted = {}
    for _, n in ipairs(needs) do quoted[#quoted + 1] = quote(n) end
    body[#body + 1] = "needs: [" .. table.concat(quoted, ", ") .. "]"
  end
  if env then body[#body + 1] = {"env:", indent("  ", pairs_lines(env, quote))} end
  body[#body + 1] = "runs-on: " .. runs_on
  body[#body + 1] = "steps:"
  body[#body + 1] = indent("  ", steps)
  return {name .. ":", indent("  ", body)}
end

local jobs = {}
for i = 0, COUNT - 1 do
  local name = "job" .. i
  jobs[#jobs + 1] = job(name, "ubuntu-latest", {
    use("actions/checkout@v4", "Check out", {{"fetch-depth", 1}}),
    run("make -C part" .. i),
    run("make -C part" .. i .. " test", "success()"),
    use("actions/upload-artifact@v4", nil, {{"name", name}, {"path", "out/"}})},
    i > 0 and {"job" .. (i - 1)} or {}, {{"JOB", name}})
end
local workflow = {"name: Build", "on: [push]", {"jobs:", indent("  ", jobs)}}
local f = io.open("/dev/null", "w")
f:write(table.concat(flatten(workflow, {}), "\n"))
f:close()
