#pragma once

struct CliArguments;
class Printer;

// --undo and --list-runs: the recorded runs, read from the journal folder.
// Answers the exit status.
int undoCommand(const CliArguments& arguments, Printer& printer);
int listRunsCommand(const CliArguments& arguments, Printer& printer);
