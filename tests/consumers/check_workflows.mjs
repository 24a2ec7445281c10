// Reads each workflow file as its consumers do: a YAML parser must load it, and the workflow
// parser must read and convert it without a single error.
// usage: node check_workflows.mjs [--expect STRINGS.json] FILE...
// With --expect, every string of the JSON array must come back, byte for byte, as a scalar of
// every FILE: a quoting fault shows up as a changed string, not only as a parse error.
import { readFileSync } from "node:fs";
import { register } from "node:module";
import { load as loadYaml } from "js-yaml";

// The parser imports its schema JSON without an import attribute, as bundlers allow; Node
// needs the attribute, so a load hook supplies it.
const jsonHook = `export async function load(url, context, next) {
  if (!url.endsWith(".json")) return next(url, context);
  return next(url, { ...context, importAttributes: { type: "json" } });
}`;
register("data:text/javascript," + encodeURIComponent(jsonHook));
const { parseWorkflow, convertWorkflowTemplate, NoOperationTraceWriter } = await import("@actions/workflow-parser");

function scalars(node, found = new Set()) {
  if (typeof node === "string") found.add(node);
  else if (node !== null && typeof node === "object") for (const v of Object.values(node)) scalars(v, found);
  return found;
}

async function problems(file, expected) {
  const content = readFileSync(file, "utf8");
  let doc;
  try {
    doc = loadYaml(content);
  } catch (e) {
    return [`YAML: ${e.reason ?? e.message}${e.mark ? ` at line ${e.mark.line + 1}` : ""}`];
  }
  const found = [];
  const parsed = parseWorkflow({ name: file, content }, new NoOperationTraceWriter());
  if (parsed.value !== undefined) await convertWorkflowTemplate(parsed.context, parsed.value);
  for (const e of parsed.context.errors.getErrors()) found.push(`workflow parser: ${e.message}`);
  if (parsed.value === undefined && found.length === 0) found.push("workflow parser: no workflow read");
  const seen = scalars(doc);
  for (const s of expected) if (!seen.has(s)) found.push(`string did not read back: ${JSON.stringify(s)}`);
  return found;
}

const args = process.argv.slice(2);
let expected = [];
if (args[0] === "--expect") {
  expected = JSON.parse(readFileSync(args[1], "utf8"));
  args.splice(0, 2);
}
let failed = 0;
for (const file of args) {
  const found = await problems(file, expected);
  if (found.length === 0) {
    console.log(`ok    workflow ${file}`);
  } else {
    failed++;
    console.log(`FAIL  workflow ${file}`);
    for (const p of found) console.log(`      ${p}`);
  }
}
process.exit(failed === 0 ? 0 : 1);
