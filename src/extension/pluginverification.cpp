#include <QtGlobal>

// The player's plug-in loader compares this block with its own build before
// it instantiates the plug-in.
extern "C" Q_DECL_EXPORT const char *qt_plugin_query_verification_data()
{
    static const char verificationData[] = "pattern=QT_PLUGIN_VERIFICATION_DATA\n"
                                           "version=4.7.4\n"
                                           "debug=false\n"
                                           "buildkey=armv6 linux g++-4 full-config";
    return verificationData;
}
