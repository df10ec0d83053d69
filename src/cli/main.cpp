// Process entry of nimbalo / nimbalo.exe: one executable, every role.
#include "cli/dispatch.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    return nimbalo::cli::run_entry(nimbalo::platform::process_arguments(argc, argv));
}
