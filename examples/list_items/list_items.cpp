// Lists the items of a domain's newest version: key, label and the texts of
// each item, through the installed rdcore library.
//
//   list_items REPOSITORY DOMAIN
//
// The repository is one named in the home folder's repositories
// ($RDM_HOME, else ~/.local/share/rdm), as `rdm repo create` makes them.
#include <RefData.h>
#include <RefDataCursor.h>
#include <RefDataViewer.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s REPOSITORY DOMAIN\n", argv[0]);
        return 2;
    }
    QxbString error;
    RefData* session = createReferenceDataSession(0, &error);
    if (session == nullptr) {
        std::fprintf(stderr, "%s\n", error.asCstr());
        return 1;
    }
    RefDataHandle* handle = nullptr;
    if (!session->open(&handle, QxbString(argv[1]), &error)) {
        std::fprintf(stderr, "%s\n", error.asCstr());
        session->release(&handle);
        return 1;
    }
    int status = 0;
    RefDataCursor* items = session->getViewer(handle)->getDomainItemsWithAttributes(handle, QxbString(argv[2]), 0);
    if (items == nullptr) {
        std::fprintf(stderr, "%s\n", session->getErrorText(handle).asCstr());
        status = 1;
    } else {
        // Columns: 1 key, 2 label, 4 text, 5 attribute, 7 language.
        while (items->next() == 0) {
            std::printf("%s\t%s\t%s@%s\t%s\n", items->getString(1).asCstr(), items->getString(2).asCstr(),
                        items->getString(5).asCstr(), items->getString(7).asCstr(), items->getString(4).asCstr());
        }
        items->release();
    }
    session->release(&handle);
    return status;
}
