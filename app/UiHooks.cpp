#include "app/UiHooks.h"

UiHooks& Hooks()
{
    static UiHooks sHooks;
    return sHooks;
}
