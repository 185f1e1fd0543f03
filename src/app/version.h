#pragma once

#define KELTO_VERSION_MAJOR 1
#define KELTO_VERSION_MINOR 12
#define KELTO_VERSION_PATCH 0
#define KELTO_VERSION_TEXT "1.12.0"
#define KELTO_PRODUCT_NAME "KeltoClientHelper"
#define KELTO_DESCRIPTION "Kelto Remote - Client Support Tool"
