#include "hosting/javastatisticsx.h"

#include <cerrno>

#include "codec/javaextensionsmb.h"
#include "hosting/dxstartup.h"
#include "hosting/xprocessenvironment.h"
#include "runtime/dxtracer.h"
#include "runtime/statuscodes.h"
#include "transport/javaplugsocket.h"
#include "transport/sendreceive.h"

namespace hosting {

JavaStatisticsX::JavaStatisticsX(XConfigOptions* options, int appMode, bool vexaDrive)
    : ProcessHost(options, appMode, vexaDrive) {}

JavaStatisticsX::~JavaStatisticsX() { StopOnDestroy(); }

int JavaStatisticsX::stat_start_java() {
    JavaPlugInSocket* socket = GetJavaExtSocket();
    if (!socket || socket->CreateSocket() != 0) return VEXA_SOCKET_FAILED;
    const XLaunchInputs inputs =
        CurrentLaunchInputs(JavaExtensionSmb::GetExtensionPath(),
                            JavaExtensionSmb::GetCommandName(), JavaExtensionSmb::IsPackageMode());
    int status = StartProcess(JavaExtensionArgv(inputs, getAppMode(), socket->GetSocketPort()),
                              pushEnv(*m_options, inputs));
    if (status == 0) {
        const PartnerWait waiting(*this);
        status = socket->AcceptSocketWithin(waiting.leftMs(), waiting.process());
        if (status == ETIMEDOUT) status = VEXA_SOCKET_ACCEPT_FAILED;
        if (status == 0 && isVexaDrive() && !m_process.IsActive()) status = VEXA_JAVA_PROCESS_GONE;
    }
    DxTraceError("stat_start_java result", status);
    return status;
}

int JavaStatisticsX::x_execute_x(const char*) {
    JavaPlugInSocket* socket = GetJavaExtSocket();
    if (!socket) return VEXA_SOCKET_FAILED;
    JavaExtensionSmb extension;
    const int status = SendData(*socket, extension);
    DxTraceError("x_execute_x SendData syntaxSocket", status);
    if (status == 0 && isVexaDrive()) m_process.Wait();
    return status;
}

}  // namespace hosting
