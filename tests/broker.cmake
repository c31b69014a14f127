# A RabbitMQ node of the tests' own on a port of its own (the distribution,
# epmd and tool ports are the next nine), started once for every case that
# needs it and stopped after the last (fixture rabbitmq_broker). Cases may
# stop and start it again on the same folder: its durable queue keeps its
# messages.
set(TARNWICK_TEST_BROKER_PORT 56720 CACHE STRING "The test broker's AMQP port; the next nine are its other ports")
set(TARNWICK_TEST_BROKER_DIR ${CMAKE_BINARY_DIR}/rabbitmq-broker)
set(TARNWICK_TEST_BROKER_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/support/rabbitmq-broker.sh)
# Its TLS listener, with the certificates the script makes in its folder's tls/.
math(EXPR TARNWICK_TEST_TLS_PORT "${TARNWICK_TEST_BROKER_PORT} + 50")
add_test(NAME rabbitmq_broker_start COMMAND bash ${TARNWICK_TEST_BROKER_SCRIPT}
  start ${TARNWICK_TEST_BROKER_DIR} ${TARNWICK_TEST_BROKER_PORT} --clean)
set_tests_properties(rabbitmq_broker_start PROPERTIES
  TIMEOUT 150 LABELS broker FIXTURES_SETUP rabbitmq_broker)
add_test(NAME rabbitmq_broker_stop COMMAND bash ${TARNWICK_TEST_BROKER_SCRIPT}
  stop ${TARNWICK_TEST_BROKER_DIR})
set_tests_properties(rabbitmq_broker_stop PROPERTIES
  TIMEOUT 60 LABELS broker FIXTURES_CLEANUP rabbitmq_broker)
# A cluster of three such nodes (its ports from the test broker's + 10 on,
# 10 per node), joined at start with a quorum queue tarnwick-results, for
# the failover case (AmqpCluster*) alone: fixture rabbitmq_cluster.
math(EXPR TARNWICK_TEST_CLUSTER_PORT "${TARNWICK_TEST_BROKER_PORT} + 10")
set(TARNWICK_TEST_CLUSTER_DIR ${CMAKE_BINARY_DIR}/rabbitmq-cluster)
add_test(NAME rabbitmq_cluster_start COMMAND bash ${TARNWICK_TEST_BROKER_SCRIPT}
  cluster-start ${TARNWICK_TEST_CLUSTER_DIR} ${TARNWICK_TEST_CLUSTER_PORT})
set_tests_properties(rabbitmq_cluster_start PROPERTIES
  TIMEOUT 200 LABELS broker FIXTURES_SETUP rabbitmq_cluster)
add_test(NAME rabbitmq_cluster_stop COMMAND bash ${TARNWICK_TEST_BROKER_SCRIPT}
  cluster-stop ${TARNWICK_TEST_CLUSTER_DIR})
set_tests_properties(rabbitmq_cluster_stop PROPERTIES
  TIMEOUT 90 LABELS broker FIXTURES_CLEANUP rabbitmq_cluster)
gtest_discover_tests(e2e_tests
  DISCOVERY_TIMEOUT 30 TEST_FILTER *AmqpCluster*
  PROPERTIES TIMEOUT 180 LABELS e2e FIXTURES_REQUIRED rabbitmq_cluster)
foreach(program_label integration_tests:integration e2e_tests:e2e)
  string(REPLACE ":" ";" program_label ${program_label})
  list(GET program_label 0 program)
  list(GET program_label 1 label)
  gtest_discover_tests(${program}
    DISCOVERY_TIMEOUT 30 TEST_FILTER *AmqpBroker*
    PROPERTIES TIMEOUT 180 LABELS ${label} FIXTURES_REQUIRED rabbitmq_broker
      RESOURCE_LOCK rabbitmq_broker)
  target_compile_definitions(${program} PRIVATE
    TARNWICK_TEST_BROKER_PORT=${TARNWICK_TEST_BROKER_PORT}
    TARNWICK_TEST_TLS_PORT=${TARNWICK_TEST_TLS_PORT}
    TARNWICK_TEST_BROKER_DIR="${TARNWICK_TEST_BROKER_DIR}"
    TARNWICK_TEST_BROKER_SCRIPT="${TARNWICK_TEST_BROKER_SCRIPT}"
    TARNWICK_TEST_CLUSTER_PORT=${TARNWICK_TEST_CLUSTER_PORT}
    TARNWICK_TEST_CLUSTER_DIR="${TARNWICK_TEST_CLUSTER_DIR}"
    TARNWICK_AMQP_RECEIVE="${CMAKE_CURRENT_SOURCE_DIR}/support/amqp_receive.py"
    TARNWICK_AMQP_STANDIN="${CMAKE_CURRENT_SOURCE_DIR}/support/amqp_standin_broker.py"
    TARNWICK_MES_STANDIN="${CMAKE_CURRENT_SOURCE_DIR}/support/mes_standin.py")
endforeach()
