#include "app/member_actions.h"

#include "collect/photo_store.h"
#include "collect/site.h"
#include "values/files.h"

void ShowMemberPhoto(MainControls& window) {
    const Text sex = window.ListGetCellText(window.ListSelectedRow(), 2);
    const Text id = window.ListGetCellText(window.ListSelectedRow(), 0);
    window.PictureSetImage(ReadFileBytes(PhotoStorePath(sex, id)));
}
