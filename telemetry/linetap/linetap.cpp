// linetap: publishes the lines of the logread stream on its standard input
// that pass the configured severity, as "syslog" notifications of the bus
// object "telemetry_linetap", until the stream ends or a stop signal.

extern "C" {
#include <libubox/uloop.h>
}

#include <stdio.h>

#include "daemon_stop.h"
#include "log_intake.h"
#include "telemetry_frame.h"

static const struct telemetry_daemon linetap = {
	"telemetry_linetap",
	"syslog",
	"log",
	"UBus linetap: changement d'abonnés (has_subscribers=%d)\n",
	"Signal %d reçu, arrêt du daemon...\n",
	"Erreur: impossible d'initialiser uloop\n",
	"Échec de connexion à UBus\n",
	"Échec de l'enregistrement de l'objet UBus: %s\n",
	"Connexion à UBus perdue\n",
};

int main(void)
{
	telemetry_frame_init(&linetap);
	if (!telemetry_loop_init() || !telemetry_bus_connect())
		return 1;
	if (telemetry_register_object() != 0) {
		telemetry_bus_free();
		return 1;
	}
	telemetry_buffer_init();

	if (!log_intake_start()) {
		// Nothing to read from: leave the rest to the operating system.
		fputs("Erreur: impossible d'ajouter le FD de log à uloop\n", stderr);
		return 1;
	}

	daemon_stop_run_loop();

	log_intake_stop();
	telemetry_close();
	// Off the bus nothing it reads gets out: fail, so that the service
	// manager starts it again on the new broker.
	return daemon_stop_bus_lost() ? 1 : 0;
}
