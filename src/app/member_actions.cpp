#include "app/member_actions.h"

#include "collect/photo_store.h"
#include "collect/site.h"
#include "platform/shell.h"
#include "values/files.h"

void ShowMemberPhoto(MainControls& window) {
    const Text sex = window.ListGetCellText(window.ListSelectedRow(), 2);
    const Text id = window.ListGetCellText(window.ListSelectedRow(), 0);
    window.PictureSetImage(ReadFileBytes(PhotoStorePath(sex, id)));
}

void OpenMemberProfile(MainControls& window) {
    const Text id = window.ListGetCellText(window.ListSelectedRow(), 0);
    // Whether a browser took the address is not looked at.
    OpenWebAddress(TextConcat(ProfileAddressPrefix(), id).view(), [](bool) {});
}
